#include "support/ScriptedAdb.h"

#include "support/ControllerFixture.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>

namespace ostrel::test {

namespace {

// The phone logs each run itself (see scripted_adb.py for why).
const char* const WrapperScript = R"sh(#!/bin/sh
exec '%2' '%3' '%1' "$@"
)sh";

// The interpreter behind "python3", found once: a version manager's launcher
// in front of it costs more per run than the whole phone does.
QString pythonInterpreter() {
    static const QString interpreter = [] {
        QProcess probe;
        probe.start(QStringLiteral("python3"),
                    {QStringLiteral("-c"), QStringLiteral("import sys; print(sys.executable)")});
        if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
            return QStringLiteral("python3");
        const QString found = QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
        return found.isEmpty() ? QStringLiteral("python3") : found;
    }();
    return interpreter;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

} // namespace

ScriptedAdb::ScriptedAdb(const QString& directory, const QJsonObject& scenario)
    : directory_(directory) {
    QDir().mkpath(directory_);
    path_ = QDir(directory_).filePath(QStringLiteral("adb"));
    const QString script =
        QString::fromUtf8(WrapperScript)
            .arg(directory_, pythonInterpreter(), QStringLiteral(OSTREL_SCRIPTED_ADB));
    writeFile(path_, script.toUtf8());
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(QDir(directory_).filePath(QStringLiteral("argv.log")), {});
    setScenario(scenario);
}

void ScriptedAdb::setScenario(const QJsonObject& scenario) {
    writeFile(QDir(directory_).filePath(QStringLiteral("scenario.json")),
              QJsonDocument(scenario).toJson());
}

QList<QStringList> ScriptedAdb::invocations() const {
    return readArgumentLog(QDir(directory_).filePath(QStringLiteral("argv.log")));
}

void attachScriptedPhone(std::unique_ptr<ControllerFixture>& program,
                         std::unique_ptr<ScriptedAdb>& adb, const QJsonObject& scenario,
                         Waits waits) {
    adb.reset();
    program = std::make_unique<ControllerFixture>(waits);
    program->controller->onClearButtonClicked();
    adb = std::make_unique<ScriptedAdb>(program->directory.filePath(QStringLiteral("phone")),
                                        scenario);
    program->chooseAdb(adb->path());
}

} // namespace ostrel::test
