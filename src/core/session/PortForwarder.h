// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Waits.h"
#include "core/device/TcpPort.h"
#include "core/server/AdbServerAddress.h"
#include "core/server/RfbGreetingWait.h"
#include "core/session/AdbCommands.h"
#include "core/session/FlowOutcome.h"
#include "core/session/ForwardListReader.h"

#include <QCoro/QCoroFwd>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace ostrel {

class SessionConsole;

// The local ports on this computer that lead to one phone's VNC port and, when
// it has one, its web port.
struct LocalPair {
    TcpPort vnc;
    std::optional<TcpPort> web;
    TcpPort phoneVnc;
    std::optional<TcpPort> phoneWeb;

    friend bool operator==(const LocalPair&, const LocalPair&) = default;
};

// How many pairs upward from the phone's own ports are tried before giving up.
inline constexpr int LocalPairLimit = 50;

// Whether nothing on this computer listens on 127.0.0.1:PORT, where viewers
// connect; the real one binds the port for a moment.
using LocalPortProbe = std::function<bool(TcpPort port)>;
bool localPortIsFree(TcpPort port);

// Leads local ports to a phone's ports through adb, and frees them again.
// adb's server holds the forwards for every client and every phone, so each
// step reads its list first: a port that leads elsewhere is never taken over.
// USB Connect forwards the ports the user gave to the phone's same ports;
// View finds the phone a local pair of its own, so that several phones can be
// viewed at once.
class PortForwarder : public QObject {
    Q_OBJECT

public:
    // `localPortFree` tells whether a port no forward holds is free here.
    PortForwarder(AdbCommands& commands, SessionConsole& console, Waits waits,
                  LocalPortProbe localPortFree, QObject* parent = nullptr);

    // USB Connect: forwards the VNC port and the web port 100 below it; the
    // step's value is true when every forward that can exist holds. `server`
    // is where the forward list is read.
    QCoro::Task<Step<bool>> adbForward(QString serial, TcpPort port,
                                       std::optional<AdbServerAddress> server);
    // Removes every forward that leads to `serial`; true when none does at the end.
    QCoro::Task<Step<bool>> adbRemoveForwards(QString serial,
                                              std::optional<AdbServerAddress> server);
    // The list as the server has it now, for showing which ports lead where.
    QCoro::Task<ForwardListRead> readForwards(std::optional<AdbServerAddress> server);

    // View: from the phone's own ports upward, the first pair that already
    // leads to this phone's ports, or is free here and forwarded to no phone;
    // the phone's side stays as the phone has it. Ends the flow, having said
    // why, when no pair in LocalPairLimit can be had or adb fails otherwise.
    // The value is set whenever the flow goes on.
    QCoro::Task<Step<std::optional<LocalPair>>> forwardPair(QString serial, TcpPort phoneVnc,
                                                            std::optional<AdbServerAddress> server);

    // Whether the phone's server greets through the forward of `local` within
    // `limit`: adb accepts connections on a forwarded port whatever the phone
    // does, so only a greeting shows that the server is there.
    QCoro::Task<Step<bool>> greets(TcpPort local, std::chrono::milliseconds limit);

    // Ends a pending read or greeting wait at once.
    void cancel();

private:
    enum class Forwarded { Holds, Busy, Taken, Failed };
    QCoro::Task<Step<Forwarded>> forwardOwnPort(QString serial, TcpPort port, bool renew,
                                                std::optional<AdbServerAddress> server);
    QCoro::Task<Step<Forwarded>> forwardPairAt(QString serial, LocalPair pair,
                                               ForwardListRead known);
    QCoro::Task<Step<Forwarded>> forwardNew(QString serial, TcpPort local, TcpPort remote);
    QCoro::Task<Step<AdbRun>> runForward(QString serial, TcpPort local, TcpPort remote, bool rebind,
                                         Echo echo);
    QCoro::Task<Step<AdbRun>> removeForward(QString serial, TcpPort local);
    QCoro::Task<Step<bool>> checkGreeting(TcpPort port);
    void sayForwardFailed(const AdbRun& run, TcpPort local);
    void sayAddress(const QString& sentence, const QString& address);
    void sayTaken(TcpPort port, const QString& other);
    void sayReached(const LocalPair& pair);

    AdbCommands& commands_;
    SessionConsole& console_;
    Waits waits_;
    LocalPortProbe localPortFree_;
    ForwardListReader reader_;
    RfbGreetingWait greetings_;
};

// "localhost:5901", "localhost:5901 and localhost:5801", "localhost:1, localhost:2 and
// localhost:3".
QString localPortsText(const QList<TcpPort>& ports);

} // namespace ostrel
