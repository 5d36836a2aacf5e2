// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/AdbServerScope.h"

#include "core/process/AdbLocator.h"
#include "e2e/LoopbackProbe.h"
#include "e2e/SimulatedPhone.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QThread>

namespace ostrel::e2e {

namespace {

constexpr int ConnectTimeoutMs = 30000; // a loaded machine starts a server and a phone slowly

// The first port the system hands out for connections and for port 0; 32768
// where it cannot be read.
int firstEphemeralPort() {
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (range.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int first =
            QString::fromLatin1(range.readAll()).simplified().section(u' ', 0, 0).toInt(&ok);
        if (ok && first > 20000)
            return first;
    }
    return 32768;
}

// A port for the private server, below the system's own range: a port taken
// from that range and let go is soon handed out again, as another test's
// listener or as the source of any connection, before adb has bound it.
quint16 freeLoopbackPort() {
    const int first = firstEphemeralPort();
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto port = quint16(QRandomGenerator::global()->bounded(10000, first));
        QTcpServer probe;
        QTcpServer probeSix;
        if (probe.listen(QHostAddress::LocalHost, port) &&
            (probeSix.listen(QHostAddress::LocalHostIPv6, port) ||
             probeSix.serverError() != QAbstractSocket::AddressInUseError))
            return port;
    }
    return 0;
}

} // namespace

AdbServerScope::AdbServerScope()
    : adbPath_(findDefaultAdb(QCoreApplication::applicationDirPath(),
                              QProcessEnvironment::systemEnvironment())),
      serverPort_(freeLoopbackPort()) {
    setVariable("ANDROID_ADB_SERVER_PORT", QByteArray::number(serverPort_));
    setVariable("HOME", home_.path().toUtf8());
    // adb 29 writes its server log to $TMPDIR/adb.UID.log; a private one
    // keeps parallel tests apart and readable.
    setVariable("TMPDIR", home_.path().toUtf8());
    for (const char* name : {"ANDROID_SERIAL", "ANDROID_ADB_SERVER_ADDRESS", "ADB_VENDOR_KEYS"})
        unsetVariable(name);
}

AdbServerScope::~AdbServerScope() {
    if (problem().isEmpty())
        run({QStringLiteral("kill-server")}, 10000);
    for (auto it = savedVariables_.rbegin(); it != savedVariables_.rend(); ++it) {
        if (it->second)
            qputenv(it->first.constData(), *it->second);
        else
            qunsetenv(it->first.constData());
    }
}

void AdbServerScope::setVariable(const char* name, const QByteArray& value) {
    const std::optional<QByteArray> old =
        qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    savedVariables_.append({QByteArray(name), old});
    qputenv(name, value);
}

void AdbServerScope::unsetVariable(const char* name) {
    if (!qEnvironmentVariableIsSet(name))
        return;
    savedVariables_.append({QByteArray(name), qgetenv(name)});
    qunsetenv(name);
}

QString AdbServerScope::problem() const {
    if (adbPath_.isEmpty())
        return QStringLiteral("no adb found beside the test, in an Android SDK or on PATH");
    if (serverPort_ == 0)
        return QStringLiteral("no free loopback port for the adb server");
    if (!home_.isValid())
        return QStringLiteral("no temporary HOME for adb");
    return {};
}

AdbOutput AdbServerScope::run(const QStringList& arguments, int timeoutMs) const {
    AdbOutput output;
    if (adbPath_.isEmpty())
        return output;
    QProcess adb;
    adb.setStandardInputFile(QProcess::nullDevice());
    adb.start(adbPath_, arguments);
    if (!adb.waitForFinished(timeoutMs)) {
        adb.kill();
        adb.waitForFinished(5000);
        return output;
    }
    output.finished = adb.exitStatus() == QProcess::NormalExit;
    output.exitCode = adb.exitCode();
    output.standardOutput = adb.readAllStandardOutput();
    output.standardError = adb.readAllStandardError();
    return output;
}

QStringList AdbServerScope::deviceLines() const {
    const AdbOutput listing = run({QStringLiteral("devices")});
    QStringList lines = QString::fromUtf8(listing.standardOutput).split('\n', Qt::SkipEmptyParts);
    if (!lines.isEmpty() && lines.first().startsWith(QStringLiteral("List of devices")))
        lines.removeFirst();
    return lines;
}

bool AdbServerScope::connect(const SimulatedPhone& phone, const QString& state,
                             QString* error) const {
    const QString wanted = phone.serial() + QLatin1Char('\t') + state;
    QElapsedTimer clock;
    clock.start();
    QString lastReply;
    while (clock.elapsed() < ConnectTimeoutMs) {
        const AdbOutput reply = run({QStringLiteral("connect"), phone.serial()});
        lastReply = QString::fromUtf8(reply.standardOutput + reply.standardError);
        if (deviceLines().contains(wanted))
            return true;
        QThread::msleep(200);
    }
    if (error)
        *error = QStringLiteral("adb never listed \"%1\"; adb connect said: %2")
                     .arg(wanted, lastReply.trimmed());
    return false;
}

bool AdbServerScope::serverAnswers() const {
    return acceptsConnections(serverPort_);
}

AdbOutput AdbServerScope::shell(const SimulatedPhone& phone, const QStringList& command) const {
    return run(QStringList{QStringLiteral("-s"), phone.serial(), QStringLiteral("shell")} +
               command);
}

QString AdbServerScope::serverLog() const {
    QDir directory(home_.path());
    QString text;
    for (const QString& name : directory.entryList({QStringLiteral("adb*.log")}, QDir::Files)) {
        QFile file(directory.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

} // namespace ostrel::e2e
