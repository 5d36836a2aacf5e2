#include "support/ControllerFixture.h"

#include "app/ProgramSettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTextBrowser>

namespace ostrel::test {

namespace {

const char* const FakeAdbScript = R"sh(#!/bin/sh
d='%1'
{ for a in "$@"; do printf '%s\037' "$a"; done; printf '\n'; } >> "$d/argv.log"
[ -f "$d/stdout" ] && cat "$d/stdout"
[ -f "$d/stderr" ] && cat "$d/stderr" >&2
[ -f "$d/sleep" ] && sleep "$(cat "$d/sleep")"
exit "$(cat "$d/exit" 2>/dev/null || echo 0)"
)sh";

} // namespace

Waits fastWaits() {
    using std::chrono::milliseconds;
    Waits waits;
    waits.presenceRetry = milliseconds(10);
    waits.settle = milliseconds(5);
    waits.serverAppearPoll = milliseconds(10);
    waits.serverAppearLimit = milliseconds(100);
    waits.commandTimeout = milliseconds(10000);
    waits.updateTimeout = milliseconds(3000);
    return waits;
}

FakeAdb::FakeAdb(const QString& directory) : directory_(directory) {
    QDir().mkpath(directory_);
    path_ = QDir(directory_).filePath(QStringLiteral("adb"));
    writeFile(QStringLiteral("adb"), QString::fromUtf8(FakeAdbScript).arg(directory_).toUtf8());
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void FakeAdb::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile file(QDir(directory_).filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

void FakeAdb::setStandardOutput(const QByteArray& bytes) {
    writeFile("stdout", bytes);
}
void FakeAdb::setStandardError(const QByteArray& bytes) {
    writeFile("stderr", bytes);
}
void FakeAdb::setExitCode(int code) {
    writeFile("exit", QByteArray::number(code));
}
void FakeAdb::setSleepSeconds(double seconds) {
    writeFile("sleep", QByteArray::number(seconds));
}

QList<QStringList> FakeAdb::invocations() const {
    return readArgumentLog(QDir(directory_).filePath(QStringLiteral("argv.log")));
}

QList<QStringList> readArgumentLog(const QString& logPath) {
    QFile file(logPath);
    QList<QStringList> result;
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        QStringList arguments = QString::fromUtf8(line).split(QChar(0x1f));
        arguments.removeLast(); // every argument ends with the separator
        result.append(arguments);
    }
    return result;
}

void useSettingsIn(const QString& directory) {
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, directory);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, directory);
}

ControllerFixture::ControllerFixture(Waits waits, QUrl site, bool awake) {
    useSettingsIn(directory.filePath(QStringLiteral("settings")));
    controller = std::make_unique<AppDelegate>(desktop, std::move(site), waits);
    window = std::make_unique<MainWindow>(*controller);
    window->show();
    if (awake)
        controller->awakeFromNib();
}

ControllerFixture::~ControllerFixture() {
    window.reset();
    controller.reset();
}

void ControllerFixture::chooseAdb(const QString& adbPath) {
    QSettings settings = programSettings();
    settings.setValue(AdbSettingKey, adbPath);
    settings.sync();
}

QString ControllerFixture::consoleText() const {
    return window->ui.textView->toPlainText();
}

} // namespace ostrel::test
