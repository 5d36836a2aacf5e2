// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PlatformTexts.h"

#include <QString>

// What the console, the start button and the status line say, as the tests read
// them back: every "\r\n" the program writes shows as one "\n".
namespace ostrel::test::texts {

inline const QString Starting = QStringLiteral("Starting Ostrel VNC Server on device...\n");
inline const QString Stopping = QStringLiteral("Stopping Ostrel VNC Server on device...\n");
inline const QString RunningRow =
    QStringLiteral("Ostrel VNC Server is successfully started.\n"
                   "You can now safely disconnect your device from ") +
    thisComputer() +
    QStringLiteral(", and quit this program.\n\n"
                   "If you can't connect to the IP address shown on device, you can click the "
                   "USB Connect button to set up USB connection.\n\n");
inline const QString StoppedRow = QStringLiteral("Ostrel VNC Server is successfully stopped.\n\n");
// DidNotStart is followed by the last lines the server printed, indented.
inline const QString DidNotStart =
    QStringLiteral("Error: Ostrel VNC Server did not start on the device.\n");
inline const QString StillRunning =
    QStringLiteral("Error: Ostrel VNC Server is still running on the device.\n");
// After adb's own text.
inline const QString FilesNotChecked =
    QStringLiteral("Error: the app's files could not be checked on this device.\n");
inline const QString NotInstalled =
    QStringLiteral("Error: Ostrel VNC Server is not installed on your android device.\n"
                   "Please purchase and install the app first from Google Play.\n"
                   "Get the Ostrel VNC Server App from Google Play\n\n");
inline const QString NoDeviceLines =
    QStringLiteral("Error: no android device is connected.\n"
                   "Please disconnect your device and reconnect it, then press the above Start "
                   "Ostrel VNC Server button again.\n");
inline const QString StartTitle = QStringLiteral("Start Ostrel VNC Server");
inline const QString StopTitle = QStringLiteral("Stop Ostrel VNC Server");
inline const QString RunningStatus = QStringLiteral("Ostrel VNC server is running");
inline const QString StoppedStatus = QStringLiteral("Ostrel VNC server is stopped");

inline const QString SettingUp = QStringLiteral("Setting up USB connection...\n");
inline const QString VncSentence = QStringLiteral(
    "You can connect to the following address with VNC clients while the android device is "
    "connected with USB:\n");
inline const QString WebSentence = QStringLiteral(
    "You can browse to the following address while the android device is connected with USB:\n");

// A link's text ends in two line breaks, and the console puts one more after
// every link.
inline QString vncLink(int port) {
    return QStringLiteral("    vnc://localhost:%1\n\n\n").arg(port);
}
inline QString webLink(int port) {
    return QStringLiteral("    http://localhost:%1\n\n\n").arg(port);
}
// After the links when no server greets through the forward.
inline QString nothingAnswers(int port) {
    return QStringLiteral("Nothing answers on localhost:%1 yet: start the server on the phone.\n")
        .arg(port);
}

} // namespace ostrel::test::texts
