#pragma once

#include "core/Waits.h"
#include "core/server/AdbServerAddress.h"
#include "core/session/FlowOutcome.h"
#include "core/session/ForwardListReader.h"

#include <QCoro/QCoroFwd>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace ostrel {

class AdbCommands;
class SessionConsole;

// The local ports on this computer that lead to one phone's VNC port and, when
// it has one, its web port.
struct LocalPair {
    uint16_t vnc = 0;
    std::optional<uint16_t> web;
    uint16_t phoneVnc = 0;
    std::optional<uint16_t> phoneWeb;

    friend bool operator==(const LocalPair&, const LocalPair&) = default;
};

// How many pairs upward from the phone's own ports are tried before giving up.
inline constexpr int LocalPairLimit = 50;

// Whether nothing on this computer listens on 127.0.0.1:PORT, where viewers
// connect; the real one binds the port for a moment.
using LocalPortProbe = std::function<bool(uint16_t port)>;
bool localPortIsFree(uint16_t port);

// The phone's web port: 100 below its VNC port, none when that leaves no port.
std::optional<uint16_t> phoneWebPort(int32_t vncPort);

// Finds each phone a local pair of its own, so that several phones can be
// viewed at once: from the phone's own ports upward, the first pair that
// already leads to this phone's ports, or is free here and forwarded to no
// phone. The phone's side stays as the phone has it.
class LocalPortChoice : public QObject {
    Q_OBJECT

public:
    LocalPortChoice(AdbCommands& commands, SessionConsole& console, Waits waits,
                    QObject* parent = nullptr);

    void setProbe(LocalPortProbe probe) { probe_ = std::move(probe); }

    // Forwards the pair it chose. Ends the flow, having said why, when no pair
    // in LocalPairLimit can be had or adb fails otherwise.
    QCoro::Task<Step<LocalPair>> forwardPair(QString serial, int32_t phoneVncPort,
                                             std::optional<AdbServerAddress> server);
    void cancel() { reader_.cancel(); }

private:
    enum class Made { Holds, Busy, Failed };
    QCoro::Task<Step<Made>> forwardNew(QString serial, uint16_t local, uint16_t remote);
    QCoro::Task<void> removeForward(QString serial, uint16_t local);

    AdbCommands& commands_;
    SessionConsole& console_;
    Waits waits_;
    ForwardListReader reader_;
    LocalPortProbe probe_ = localPortIsFree;
};

} // namespace ostrel
