// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The adb argument lists that the device flows send, for comparing with what
// the phone was asked.

#include <QList>
#include <QString>
#include <QStringList>

namespace ostrel::test::phone {

inline const QString FirstPackage = QStringLiteral("com.ostrel.vncserver");
inline const QString SecondPackage = QStringLiteral("com.halvorn.pellit");

inline QString executableOf(const QString& package) {
    return QStringLiteral("/data/data/%1/files/ostrelvncserver").arg(package);
}

inline QStringList devices() {
    return {"devices"};
}
inline QStringList processList() {
    return {"shell", "ps"};
}
inline QStringList fileList(const QString& package) {
    return {"shell", "ls", "-l", executableOf(package)};
}
inline QStringList launchActivity(const QString& package) {
    return {"shell",
            "am",
            "start",
            "-a",
            "android.intent.action.MAIN",
            "-n",
            package + "/.MainActivity"};
}
inline QStringList runServer(const QString& package) {
    return {"shell", executableOf(package)};
}
inline QStringList stopServer(const QString& package) {
    return {"shell", executableOf(package), "--stop"};
}
inline QStringList killServer(int pid) {
    return {"shell", "kill", "-9", QString::number(pid)};
}
inline QStringList forward(int port) {
    const QString socket = QStringLiteral("tcp:%1").arg(port);
    return {"forward", socket, socket};
}

// A forward that adb refuses when the port is in use.
inline QStringList forwardNew(int port) {
    const QString socket = QStringLiteral("tcp:%1").arg(port);
    return {"forward", "--no-rebind", socket, socket};
}
inline QStringList removeForward(int port) {
    return {"forward", "--remove", QStringLiteral("tcp:%1").arg(port)};
}

// The same commands aimed at one of several devices.
inline QList<QStringList> onDevice(const QString& serial, const QList<QStringList>& commands) {
    QList<QStringList> aimed;
    for (const QStringList& command : commands)
        aimed.append(QStringList{"-s", serial} + command);
    return aimed;
}

} // namespace ostrel::test::phone
