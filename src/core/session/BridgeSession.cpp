#include "core/session/BridgeSession.h"
#include <QCoro/QCoroTask>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

BridgeSession::BridgeSession(CommandRunner& runner, std::function<QString()> adbPath, Waits waits,
                             QObject* parent)
    : QObject(parent), runner_(runner), adbPath_(std::move(adbPath)), waits_(waits) {
    pauseTimer_.setSingleShot(true);
    connect(&pauseTimer_, &QTimer::timeout, this, [this] {
        if (pauseEnded_)
            pauseEnded_->set();
    });
}

BridgeSession::~BridgeSession() {
    // A flow still waiting would otherwise resume into a session that is gone.
    cancel();
}

void BridgeSession::say(const QString& text, MessageKind kind) {
    // A cancelled flow has nobody left to tell.
    if (!cancelled_ && !text.isEmpty())
        emitConsoleText(text, kind);
}

void BridgeSession::sayLink(const QString& description, const QUrl& url, MessageKind kind) {
    if (cancelled_)
        return;
    Q_EMIT consoleLink(description, url, kind);
    consoleAtLineStart_ = true; // every console ends a link's line
}

bool BridgeSession::beginFlow() {
    if (busy_)
        return false;
    busy_ = true;
    cancelled_ = false;
    Q_EMIT busyChanged(true);
    return true;
}

void BridgeSession::endFlow() {
    busy_ = false;
    Q_EMIT busyChanged(false);
}

void BridgeSession::cancel() {
    cancelled_ = true;
    pauseTimer_.stop();
    if (pauseEnded_)
        pauseEnded_->set();
    runner_.cancel();
}

QCoro::Task<bool> BridgeSession::pause(std::chrono::milliseconds duration) {
    if (cancelled_)
        co_return false;
    AsyncEvent ended;
    pauseEnded_ = &ended;
    pauseTimer_.start(duration);
    co_await ended;
    pauseEnded_ = nullptr;
    co_return !cancelled_;
}

QCoro::Task<void> BridgeSession::toggleServer() {
    const FlowScope flow(*this);
    if (!flow.entered())
        co_return;
    // The last probe decides, not the button's title.
    if (bridge_.serverRunning) {
        say(u"Stopping Ostrel VNC Server on device...\r\n"_s);
        co_await adbStopOstrelVNCServer();
    } else {
        say(u"Starting Ostrel VNC Server on device...\r\n"_s);
        co_await adbStartOstrelVNCServer();
    }
}

QCoro::Task<void> BridgeSession::usbConnect(int32_t port) {
    const FlowScope flow(*this);
    if (!flow.entered())
        co_return;
    say(u"Setting up USB connection...\r\n"_s);
    co_await adbForward(port);
}

void BridgeSession::stopAdbServerUnlessForwarding() {
    // Stopping adb's server would end every forward it holds, not only the
    // latest one.
    if (bridge_.forwardEstablished || forwardInForce_)
        return;
    launchDetachedAdbProcess({u"kill-server"_s});
}

} // namespace ostrel
