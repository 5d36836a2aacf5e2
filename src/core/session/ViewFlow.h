#pragma once

#include "core/Waits.h"
#include "core/server/AdbServerAddress.h"
#include "core/server/RfbGreetingWait.h"
#include "core/session/FlowOutcome.h"
#include "core/session/LocalPortChoice.h"

#include <QCoro/QCoroFwd>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace ostrel {

class AdbCommands;
class ServerLifecycle;
class SessionConsole;

// From a found phone to its server greeting through a local pair of its own:
// what View does before it opens a viewer, and all that --connect does.
class ViewFlow : public QObject {
    Q_OBJECT

public:
    ViewFlow(ServerLifecycle& lifecycle, AdbCommands& commands, SessionConsole& console,
             Waits waits, QObject* parent = nullptr);

    // `port` is the phone's VNC port as the user gave it now, which becomes
    // the remembered one; without it the remembered one, else the default.
    // Goes on only once the server's greeting was read through the pair.
    QCoro::Task<Step<LocalPair>> reach(QString serial, std::optional<int32_t> port,
                                       std::optional<AdbServerAddress> server);

    LocalPortChoice& pairs() { return pairs_; }
    void cancel();

private:
    QCoro::Task<bool> ensureServerRuns(QString serial);

    ServerLifecycle& lifecycle_;
    SessionConsole& console_;
    Waits waits_;
    LocalPortChoice pairs_;
    RfbGreetingWait greetings_;
};

} // namespace ostrel
