// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QList>
#include <QPoint>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace ostrel::e2e {

// What the simulated phone has installed and how it behaves.
struct PhoneScenario {
    enum class Package { First, Second, None };

    Package package = Package::First;
    qint64 executableSize = 845312;
    // Unset: the executable is there from the start. Set: it is extracted
    // this many seconds after the app's activity is first launched.
    std::optional<double> executableDelaySeconds;
    double serverDelaySeconds = 0; // before a launched server shows in ps
    bool ignoreStop = false;
    bool survivesKill = false; // kill -9 succeeds, yet the server stays listed
    // Set: a launched server prints this on standard error and ends, never listed.
    std::optional<QString> serverFailure;
    bool listingDenied = false; // every ls -l answers "Permission denied"
    bool alreadyRunning = false;
    bool unauthorized = false;
    bool shellV2 = true;
    int vncPort = 5901;
    QString product = QStringLiteral("kestrel");
    QString model = QStringLiteral("KS_200");
    QString desktopName = QStringLiteral("kestrel"); // what its VNC server calls its desktop
    QSize screen{360, 800};                          // its VNC server's picture
    // Set: the VNC server asks for VNC authentication with this password.
    std::optional<QString> vncPassword;
    // Set: the VNC server greets, then refuses every client with this reason.
    std::optional<QString> vncRefusal;
    // Set ("HOST:PORT"): the VNC port relays to this real server instead.
    std::optional<QString> vncRelay;

    QStringList arguments() const;
};

// What the phone's VNC server received from its client.
struct RfbPointerEvent {
    QPoint position;
    int buttonMask = 0;
    friend bool operator==(const RfbPointerEvent&, const RfbPointerEvent&) = default;
};
struct RfbKeyEvent {
    quint32 keysym = 0;
    bool down = false;
    friend bool operator==(const RfbKeyEvent&, const RfbKeyEvent&) = default;
};

// A simulated Android phone on a loopback port, reached by the real adb
// server through `adb connect`. It dies with this object, or with the test
// process, since it ends when its standard input closes.
class SimulatedPhone {
public:
    SimulatedPhone();
    ~SimulatedPhone();
    SimulatedPhone(const SimulatedPhone&) = delete;
    SimulatedPhone& operator=(const SimulatedPhone&) = delete;

    // Starts the phone and waits until it listens. On failure returns false
    // and says why in `error`.
    bool start(const PhoneScenario& scenario, QString* error = nullptr);
    void stop();

    quint16 port() const { return port_; }
    QString serial() const; // how adb names it: "127.0.0.1:PORT"

    // Every shell command the phone received so far, each as its words.
    QList<QStringList> commandLog() const;
    // Every logged event (connections, shell commands, tcp streams, refusals).
    QList<QJsonObject> events() const;
    QList<RfbPointerEvent> pointerEvents() const;
    QList<RfbKeyEvent> keyEvents() const;
    // What the simulator wrote to its standard error, for failure messages.
    QString diagnostics() const;

private:
    QTemporaryDir directory_;
    QProcess process_;
    quint16 port_ = 0;
};

} // namespace ostrel::e2e
