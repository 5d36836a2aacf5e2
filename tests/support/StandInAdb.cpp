// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/StandInAdb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ostrel::test {

namespace {

const char* const StandInScript = R"sh(#!/bin/sh
d='%1'
{ for a in "$@"; do printf '%s\037' "$a"; done; printf '\n'; } >> "$d/argv.log"
[ -f "$d/stdin" ] && cat
[ -f "$d/stdout" ] && cat "$d/stdout"
[ -f "$d/stderr" ] && cat "$d/stderr" >&2
[ -f "$d/crash" ] && kill -SEGV $$
if [ -f "$d/grandchild" ]; then
    sleep 60 &
    echo $! > "$d/grandchild.pid.tmp" && mv "$d/grandchild.pid.tmp" "$d/grandchild.pid"
fi
[ -f "$d/sleep" ] && sleep "$(cat "$d/sleep")"
printf x >> "$d/finished"
exit "$(cat "$d/exit" 2>/dev/null || echo 0)"
)sh";

} // namespace

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

StandInAdb::StandInAdb(const QString& directory) : directory_(directory) {
    QDir().mkpath(directory_);
    path_ = QDir(directory_).filePath(QStringLiteral("adb"));
    writeFile(QStringLiteral("adb"), QString::fromUtf8(StandInScript).arg(directory_).toUtf8());
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void StandInAdb::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile file(QDir(directory_).filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

void StandInAdb::setStandardOutput(const QByteArray& bytes) {
    writeFile(QStringLiteral("stdout"), bytes);
}
void StandInAdb::setStandardError(const QByteArray& bytes) {
    writeFile(QStringLiteral("stderr"), bytes);
}
void StandInAdb::setExitCode(int code) {
    writeFile(QStringLiteral("exit"), QByteArray::number(code));
}
void StandInAdb::setSleepSeconds(double seconds) {
    writeFile(QStringLiteral("sleep"), QByteArray::number(seconds));
}
void StandInAdb::setReadsStandardInput() {
    writeFile(QStringLiteral("stdin"), {});
}
void StandInAdb::setCrashes(bool crashes) {
    if (crashes)
        writeFile(QStringLiteral("crash"), {});
    else
        QFile::remove(QDir(directory_).filePath(QStringLiteral("crash")));
}
void StandInAdb::setStartsGrandchild() {
    writeFile(QStringLiteral("grandchild"), {});
}

QString StandInAdb::grandchildPidFile() const {
    return QDir(directory_).filePath(QStringLiteral("grandchild.pid"));
}

QList<QStringList> StandInAdb::invocations() const {
    return readArgumentLog(QDir(directory_).filePath(QStringLiteral("argv.log")));
}

int StandInAdb::finishedRuns() const {
    return static_cast<int>(
        QFileInfo(QDir(directory_).filePath(QStringLiteral("finished"))).size());
}

} // namespace ostrel::test
