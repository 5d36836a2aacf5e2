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
#include <functional>
#include <optional>

namespace ostrel {

class AdbCommands;
class FlowControl;
class ServerLifecycle;
class SessionConsole;
class SessionSettings;

// Asks the user for the VNC port a phone's server shows; the answer as typed,
// empty when the question was turned down.
using VncPortQuestion = std::function<QString(const QString& serial)>;

// From a found phone to its server greeting through a local pair of its own:
// what View does before it opens a viewer, and all that --connect does.
class ViewFlow : public QObject {
    Q_OBJECT

public:
    ViewFlow(ServerLifecycle& lifecycle, AdbCommands& commands, SessionConsole& console,
             SessionSettings& settings, const FlowControl& flow, Waits waits,
             QObject* parent = nullptr);

    // `port` is the phone's VNC port as the user gave it now, which becomes
    // the remembered one. Without it, the remembered one; for a phone with
    // none, `ask`'s answer when there is a question, else the default.
    // Goes on only once the server's greeting was read through the pair.
    QCoro::Task<Step<LocalPair>> reach(QString serial, std::optional<int32_t> port,
                                       std::optional<AdbServerAddress> server,
                                       VncPortQuestion ask = {});

    LocalPortChoice& pairs() { return pairs_; }
    void cancel();

private:
    QCoro::Task<bool> ensureServerRuns(QString serial);
    Step<int32_t> phonePort(const QString& serial, std::optional<int32_t> port,
                            const VncPortQuestion& ask);

    ServerLifecycle& lifecycle_;
    SessionConsole& console_;
    SessionSettings& settings_; // each phone's VNC port
    const FlowControl& flow_;
    Waits waits_;
    LocalPortChoice pairs_;
    RfbGreetingWait greetings_;
};

} // namespace ostrel
