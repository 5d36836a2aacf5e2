// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/WatchVerb.h"

#include "cli/CommandLineOutput.h"
#include "cli/Invocation.h"
#include "core/session/BridgeSession.h"
#include "core/text/VisibleText.h"

#include <QCoro/QCoroTask>
#include <QPointer>

namespace ostrel::cli {

using namespace Qt::Literals::StringLiterals;

namespace {

QString stateOf(const QList<ListedDevice>& devices, const QString& serial) {
    for (const ListedDevice& device : devices) {
        if (device.serial == serial)
            return device.state;
    }
    return {};
}

// adb's last words on standard error, else what ended it: one line.
QString whyAdbFailed(const AdbRun& run) {
    if (!run.finished())
        return run.errorText;
    const QStringList lines = QString::fromUtf8(run.standardError).split(u'\n', Qt::SkipEmptyParts);
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const QString words = line->trimmed();
        if (!words.isEmpty())
            return words;
    }
    return u"exit status %1"_s.arg(run.exitCode);
}

} // namespace

WatchVerb::WatchVerb(BridgeSession& session, CommandLineOutput& output, QString serial,
                     const WatchTiming& timing, QObject* parent)
    : QObject(parent), session_(session), output_(output), serial_(std::move(serial)),
      timing_(timing) {
    firstServerLimit_.setSingleShot(true);
    firstServerLimit_.setTimerType(Qt::PreciseTimer);
    connect(&firstServerLimit_, &QTimer::timeout, this, &WatchVerb::giveUp);
}

WatchVerb::~WatchVerb() = default;

void WatchVerb::start() {
    // Only results go to standard output, one line for each change.
    output_.setProgressShown(false);
    const std::optional<AdbServerAddress> address = session_.serverAddress();
    if (!address) {
        output_.failure(u"Error: the adb server's address in the environment cannot be "
                        "reached over TCP.\n"_s);
        stop(StateNotReached);
        return;
    }
    // What adb says as the server is started again and again reaches the
    // user through the verb, once each.
    disconnect(&session_, &BridgeSession::consoleText, &output_, nullptr);
    connect(&session_, &BridgeSession::consoleText, this, &WatchVerb::onConsoleText);
    watch_ = std::make_unique<DeviceWatch>(*address, timing_.watch);
    connect(watch_.get(), &DeviceWatch::devicesChanged, this, &WatchVerb::print);
    connect(watch_.get(), &DeviceWatch::connectedChanged, this, &WatchVerb::onConnectedChanged);
    connect(watch_.get(), &DeviceWatch::attemptFailed, this, &WatchVerb::onAttemptFailed);
    firstServerLimit_.start(timing_.firstServerLimit);
    watch_->start();
}

void WatchVerb::stop(int status) {
    if (std::exchange(ended_, true))
        return;
    firstServerLimit_.stop();
    if (watch_)
        watch_->stop();
    Q_EMIT finished(status);
}

void WatchVerb::print(const QList<ListedDevice>& devices) {
    QString lines;
    for (const ListedDevice& device : devices) {
        if ((serial_.isEmpty() || device.serial == serial_) &&
            stateOf(printed_, device.serial) != device.state)
            lines += visibleText(device.serial) + u'\t' + visibleText(device.state) + u'\n';
    }
    for (const ListedDevice& device : std::as_const(printed_)) {
        if ((serial_.isEmpty() || device.serial == serial_) &&
            stateOf(devices, device.serial).isEmpty())
            lines += visibleText(device.serial) + u"\tgone\n"_s;
    }
    printed_ = devices;
    if (lines.isEmpty())
        return;
    output_.result(lines);
    // A reader that has gone wants nothing more.
    if (output_.muted())
        stop(StateReached);
}

void WatchVerb::onConnectedChanged(bool connected) {
    if (!connected)
        return;
    firstServerLimit_.stop();
    followed_ = true;
    startProblem_.clear();
    // Trouble after this is news again.
    said_.forget();
}

// No server: one is started, unless one is being started; its outcome is
// said then. A server that answered badly runs already, and is said at once.
void WatchVerb::onAttemptFailed(const QString& reason, bool serverAnswered) {
    watchProblem_ = reason;
    serverAnswered_ = serverAnswered;
    if (serverAnswered) {
        startProblem_.clear();
        sayOnce(problemLine());
    } else if (!startingServer_) {
        startServer();
    }
}

void WatchVerb::onConsoleText(const QString& text, MessageKind kind) {
    if (kind == MessageKind::Failure)
        sayOnce(text);
}

void WatchVerb::giveUp() {
    output_.failure(problemLine());
    stop(StateNotReached);
}

QString WatchVerb::problemLine() const {
    const QString address = watch_->address().text();
    if (serverAnswered_)
        return u"Error: the adb server at %1 cannot be followed: %2.\n"_s.arg(
            address, visibleText(watchProblem_));
    const QString why = watchProblem_.isEmpty() ? u"it did not answer"_s : watchProblem_;
    QString line = u"Error: no adb server could be reached at %1: %2"_s.arg(address, why);
    if (!startProblem_.isEmpty())
        line += u"; adb start-server failed: %1"_s.arg(visibleText(startProblem_));
    return line + u".\n"_s;
}

// Until a server has been followed, the line that ends the verb says it all.
void WatchVerb::sayOnce(const QString& line) {
    if (followed_ && said_.firstTime(line))
        output_.failure(line);
}

// As adb's own commands do, a server is started when none answers; the watch
// then looks again in its turn.
QCoro::Task<void> WatchVerb::startServer() {
    startingServer_ = true;
    const QPointer<WatchVerb> self = this;
    const Step<AdbRun> started = co_await session_.startAdbServer();
    if (!self || ended_)
        co_return;
    startingServer_ = false;
    startProblem_ = started.value.succeeded() ? QString() : whyAdbFailed(started.value);
    if (!startProblem_.isEmpty())
        sayOnce(problemLine());
    watch_->poke();
}

} // namespace ostrel::cli
