// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/SimulatedPhone.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

namespace ostrel::e2e {

namespace {

constexpr int StartTimeoutMs = 10000;

QString packageName(PhoneScenario::Package package) {
    switch (package) {
    case PhoneScenario::Package::First:
        return QStringLiteral("first");
    case PhoneScenario::Package::Second:
        return QStringLiteral("second");
    case PhoneScenario::Package::None:
        break;
    }
    return QStringLiteral("none");
}

QString logPath(const QTemporaryDir& directory) {
    return directory.filePath(QStringLiteral("phone.jsonl"));
}

// The simulator's own complaints go to a file, so a chatty failure can never
// fill a pipe nobody reads and stall the phone.
QString errorPath(const QTemporaryDir& directory) {
    return directory.filePath(QStringLiteral("phone.err"));
}

} // namespace

QStringList PhoneScenario::arguments() const {
    QStringList list{QStringLiteral("--package"),
                     packageName(package),
                     QStringLiteral("--exe-size"),
                     QString::number(executableSize),
                     QStringLiteral("--server-delay"),
                     QString::number(serverDelaySeconds),
                     QStringLiteral("--vnc-port"),
                     QString::number(vncPort),
                     QStringLiteral("--product"),
                     product,
                     QStringLiteral("--device"),
                     product,
                     QStringLiteral("--model"),
                     model,
                     QStringLiteral("--desktop-name"),
                     desktopName,
                     QStringLiteral("--screen"),
                     QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height())};
    if (vncPassword)
        list << QStringLiteral("--vnc-password") << *vncPassword;
    if (vncRefusal)
        list << QStringLiteral("--vnc-refusal") << *vncRefusal;
    if (vncRelay)
        list << QStringLiteral("--vnc-relay") << *vncRelay;
    if (executableDelaySeconds)
        list << QStringLiteral("--exe-delay") << QString::number(*executableDelaySeconds);
    if (ignoreStop)
        list << QStringLiteral("--ignore-stop");
    if (survivesKill)
        list << QStringLiteral("--survives-kill");
    if (serverFailure)
        list << QStringLiteral("--server-fails") << *serverFailure;
    if (listingDenied)
        list << QStringLiteral("--listing-denied");
    if (alreadyRunning)
        list << QStringLiteral("--already-running");
    if (unauthorized)
        list << QStringLiteral("--state") << QStringLiteral("unauthorized");
    if (!shellV2)
        list << QStringLiteral("--no-shell-v2");
    return list;
}

SimulatedPhone::SimulatedPhone() = default;

SimulatedPhone::~SimulatedPhone() {
    stop();
}

bool SimulatedPhone::start(const PhoneScenario& scenario, QString* error) {
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        stop();
        return false;
    };
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        return fail(QStringLiteral("python3 is not on PATH"));
    if (!directory_.isValid())
        return fail(QStringLiteral("no temporary folder for the phone's log"));
    const QStringList arguments = QStringList{QStringLiteral(OSTREL_SIMDEVICE_SCRIPT),
                                              QStringLiteral("--log"), logPath(directory_)} +
                                  scenario.arguments();
    process_.setStandardErrorFile(errorPath(directory_));
    process_.start(python, arguments);
    if (!process_.waitForStarted(StartTimeoutMs))
        return fail(QStringLiteral("python3 did not start: %1").arg(process_.errorString()));
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(StartTimeoutMs))
            return fail(
                QStringLiteral("the simulated phone printed no port: %1").arg(diagnostics()));
    }
    bool numeric = false;
    const uint port = process_.readLine().trimmed().toUInt(&numeric);
    if (!numeric || port == 0 || port > 65535)
        return fail(QStringLiteral("the simulated phone printed no port: %1").arg(diagnostics()));
    port_ = static_cast<quint16>(port);
    return true;
}

void SimulatedPhone::stop() {
    if (process_.state() != QProcess::NotRunning) {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    port_ = 0;
}

QString SimulatedPhone::serial() const {
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

QList<QJsonObject> SimulatedPhone::events() const {
    QList<QJsonObject> result;
    QFile file(logPath(directory_));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (document.isObject())
            result.append(document.object());
    }
    return result;
}

QList<QStringList> SimulatedPhone::commandLog() const {
    QList<QStringList> commands;
    for (const QJsonObject& event : events()) {
        if (event.value(QStringLiteral("event")).toString() != QStringLiteral("shell"))
            continue;
        QStringList words;
        for (const QJsonValue& word : event.value(QStringLiteral("argv")).toArray())
            words << word.toString();
        commands.append(words);
    }
    return commands;
}

QList<RfbPointerEvent> SimulatedPhone::pointerEvents() const {
    QList<RfbPointerEvent> result;
    for (const QJsonObject& event : events()) {
        if (event.value(QStringLiteral("event")).toString() == QStringLiteral("rfb_pointer"))
            result.append({QPoint(event.value(QStringLiteral("x")).toInt(),
                                  event.value(QStringLiteral("y")).toInt()),
                           event.value(QStringLiteral("mask")).toInt()});
    }
    return result;
}

QList<RfbKeyEvent> SimulatedPhone::keyEvents() const {
    QList<RfbKeyEvent> result;
    for (const QJsonObject& event : events()) {
        if (event.value(QStringLiteral("event")).toString() == QStringLiteral("rfb_key"))
            result.append({static_cast<quint32>(event.value(QStringLiteral("keysym")).toDouble()),
                           event.value(QStringLiteral("down")).toBool()});
    }
    return result;
}

QString SimulatedPhone::diagnostics() const {
    QFile file(errorPath(directory_));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace ostrel::e2e
