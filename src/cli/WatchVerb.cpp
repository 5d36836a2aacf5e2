#include "cli/WatchVerb.h"

#include "cli/CommandLineOutput.h"
#include "cli/Invocation.h"
#include "core/bridge/BridgeState.h"
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

} // namespace

WatchVerb::WatchVerb(BridgeSession& session, CommandLineOutput& output, QString serial,
                     QObject* parent)
    : QObject(parent), session_(session), output_(output), serial_(std::move(serial)) {
    firstServerLimit_.setSingleShot(true);
    firstServerLimit_.setTimerType(Qt::PreciseTimer);
    connect(&firstServerLimit_, &QTimer::timeout, this, [this] {
        output_.failure(u"Error: no adb server could be reached at %1: %2.\n"_s.arg(
            watch_->address().text(), visibleText(lastProblem_)));
        stop(StateNotReached);
    });
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
    watch_ = std::make_unique<DeviceWatch>(*address);
    connect(watch_.get(), &DeviceWatch::devicesChanged, this, &WatchVerb::print);
    connect(watch_.get(), &DeviceWatch::connectedChanged, this, [this](bool connected) {
        if (connected)
            firstServerLimit_.stop();
    });
    connect(watch_.get(), &DeviceWatch::attemptFailed, this, &WatchVerb::onAttemptFailed);
    firstServerLimit_.start(FirstServerLimit);
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

void WatchVerb::onAttemptFailed(const QString& reason) {
    lastProblem_ = reason;
    if (!startingServer_)
        startServer();
}

// As adb's own commands do, a server is started when none answers; the watch
// then looks again at once.
QCoro::Task<void> WatchVerb::startServer() {
    startingServer_ = true;
    const QPointer<WatchVerb> self = this;
    const QStringList arguments{u"start-server"_s};
    const Step<AdbRun> started = co_await session_.commands().runOnServer(Mode::Quiet, arguments);
    if (!self || ended_)
        co_return;
    startingServer_ = false;
    if (!started.goesOn() || started.value.exitCode != 0)
        lastProblem_ = u"adb start-server did not start one"_s;
    watch_->poke();
}

} // namespace ostrel::cli
