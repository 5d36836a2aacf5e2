// SPDX-License-Identifier: GPL-3.0-or-later
#include "xvnc/XvncServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace ostrel::test {

namespace {

constexpr int StartLimitMs = 10000;
constexpr int FirstDisplay = 40;
constexpr int LastDisplay = 199;

QString xvncPath() {
    return QStandardPaths::findExecutable(QStringLiteral("Xvnc"));
}

bool displayTaken(int display) {
    return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)) ||
           QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(display));
}

quint16 freeLoopbackPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool answers(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

} // namespace

XvncServer::~XvncServer() {
    stop();
}

bool XvncServer::installed() {
    return !xvncPath().isEmpty();
}

QString XvncServer::start(const Options& options) {
    if (!installed())
        return QStringLiteral("Xvnc is not installed");
    if (!directory_.isValid())
        return QStringLiteral("no temporary folder");
    QString passwordFile;
    if (options.password) {
        passwordFile = writePasswordFile(*options.password);
        if (passwordFile.isEmpty())
            return QStringLiteral("vncpasswd -f made no password file");
    }
    for (int display = FirstDisplay; display <= LastDisplay; ++display) {
        if (displayTaken(display))
            continue;
        if (startOnDisplay(display, options, passwordFile))
            return options.picture ? showPicture() : QString();
    }
    return QStringLiteral("Xvnc started on no display: %1").arg(diagnostics());
}

// `vncpasswd -f` turns the password on its standard input into the file's
// obfuscated form.
QString XvncServer::writePasswordFile(const QString& password) {
    QProcess vncpasswd;
    vncpasswd.start(QStringLiteral("vncpasswd"), {QStringLiteral("-f")});
    if (!vncpasswd.waitForStarted(StartLimitMs))
        return {};
    vncpasswd.write(password.toUtf8() + '\n');
    vncpasswd.closeWriteChannel();
    if (!vncpasswd.waitForFinished(StartLimitMs) || vncpasswd.exitCode() != 0)
        return {};
    const QString path = directory_.filePath(QStringLiteral("passwd"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(vncpasswd.readAllStandardOutput()) <= 0)
        return {};
    return path;
}

bool XvncServer::startOnDisplay(int display, const Options& options, const QString& passwordFile) {
    const quint16 port = freeLoopbackPort();
    if (port == 0)
        return false;
    QStringList arguments{
        QStringLiteral(":%1").arg(display),
        QStringLiteral("-geometry"),
        QStringLiteral("%1x%2").arg(options.screen.width()).arg(options.screen.height()),
        QStringLiteral("-depth"),
        QStringLiteral("24"),
        QStringLiteral("-rfbport"),
        QString::number(port),
        QStringLiteral("-interface"),
        QStringLiteral("127.0.0.1"),
        QStringLiteral("-nolisten"),
        QStringLiteral("tcp"),
        QStringLiteral("-SecurityTypes")};
    if (passwordFile.isEmpty())
        arguments << QStringLiteral("None");
    else
        arguments << QStringLiteral("VncAuth") << QStringLiteral("-PasswordFile") << passwordFile;
    server_.setProcessChannelMode(QProcess::MergedChannels);
    server_.setStandardOutputFile(directory_.filePath(QStringLiteral("xvnc.log")),
                                  QIODevice::Append);
    server_.start(xvncPath(), arguments);
    if (!server_.waitForStarted(StartLimitMs))
        return false;
    const QDeadlineTimer deadline(StartLimitMs);
    while (!deadline.hasExpired() && server_.state() == QProcess::Running) {
        if (answers(port) && displayTaken(display)) {
            display_ = display;
            port_ = port;
            return true;
        }
        QThread::msleep(50);
    }
    stop();
    return false;
}

QString XvncServer::showPicture() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display_));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_ENABLE_HIGHDPI_SCALING"), QStringLiteral("0"));
    environment.remove(QStringLiteral("QT_SCALE_FACTOR"));
    picture_.setProcessEnvironment(environment);
    picture_.setProcessChannelMode(QProcess::MergedChannels);
    picture_.setStandardOutputFile(directory_.filePath(QStringLiteral("picture.log")));
    picture_.start(QStringLiteral(OSTREL_XVNC_PICTURE), {});
    if (!picture_.waitForStarted(StartLimitMs))
        return QStringLiteral("the picture program did not start: %1").arg(picture_.errorString());
    return {};
}

void XvncServer::stop() {
    for (QProcess* process : {&picture_, &server_}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    display_ = -1;
    port_ = 0;
}

QString XvncServer::lastClientReport() const {
    QFile file(directory_.filePath(QStringLiteral("xvnc.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString log = QString::fromUtf8(file.readAll());
    const qsizetype closing = log.lastIndexOf(QStringLiteral("VNCSConnST:  closing"));
    return closing < 0 ? QString() : log.mid(closing);
}

QString XvncServer::diagnostics() const {
    QString text;
    for (const char* name : {"xvnc.log", "picture.log"}) {
        QFile file(directory_.filePath(QString::fromLatin1(name)));
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

} // namespace ostrel::test
