// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ScriptedPhone.h"

#ifndef Q_MOC_RUN
#include "core/process/AsyncEvent.h"
#endif

#include <QCoro/QCoroTask>
#include <QFile>
#include <QTimer>
#include <algorithm>

namespace ostrel::test {

using namespace Qt::Literals::StringLiterals;

namespace {

QString executablePath(const QString& package) {
    return u"/data/data/%1/files/ostrelvncserver"_s.arg(package);
}

QByteArray text(const QString& string) {
    return string.toUtf8();
}

} // namespace

// A run being waited for: answered on a later pass of the event loop, as a
// real process would be, or ended early by a time-out or a cancel.
struct ScriptedPhone::Waiting {
    AsyncEvent done;
    AdbRun result;

    void end(AdbRun::Status status, const QString& errorText) {
        if (done.isSet())
            return;
        result = AdbRun{};
        result.status = status;
        result.errorText = errorText;
        done.set();
    }
};

ScriptedPhone::ScriptedPhone(const QJsonObject& scenario) : scenario_(scenario), phone_(scenario) {}

ScriptedPhone::~ScriptedPhone() {
    cancel();
}

void ScriptedPhone::setScenario(const QJsonObject& scenario) {
    scenario_ = scenario;
    phone_ = Phone(scenario);
    for (const Invocation& earlier : std::as_const(runs_)) {
        if (!hanging_.contains(earlier.arguments))
            phone_.run(earlier.arguments);
    }
}

void ScriptedPhone::hangOn(const QStringList& arguments) {
    hanging_.append(arguments);
}

QList<QStringList> ScriptedPhone::invocations() const {
    QList<QStringList> arguments;
    for (const Invocation& run : runs_)
        arguments.append(run.arguments);
    return arguments;
}

int ScriptedPhone::waiting() const {
    return static_cast<int>(waiting_.size());
}

QCoro::Task<AdbRun> ScriptedPhone::run(const QString& program, const QStringList& arguments,
                                       std::chrono::milliseconds timeout) {
    runs_.append(Invocation{program, arguments, false, timeout});
    auto waiting = std::make_shared<Waiting>();
    const std::weak_ptr<Waiting> weak = waiting;
    if (hanging_.contains(arguments)) {
        QTimer::singleShot(timeout, &timers_, [weak, program, timeout] {
            if (const std::shared_ptr<Waiting> run = weak.lock())
                run->end(AdbRun::Status::TimedOut,
                         u"%1 did not finish within %2 seconds and was stopped"_s.arg(program).arg(
                             static_cast<double>(timeout.count()) / 1000.0));
        });
    } else {
        const Answer answer = phone_.run(arguments);
        waiting->result.status = AdbRun::Status::Finished;
        waiting->result.exitCode = answer.exitCode;
        waiting->result.standardOutput = answer.standardOutput;
        waiting->result.standardError = answer.standardError;
        QTimer::singleShot(0, &timers_, [weak] {
            // Held while the waiter runs, which may well end this run's frame.
            if (const std::shared_ptr<Waiting> run = weak.lock())
                run->done.set();
        });
    }
    waiting_.append(waiting);
    co_await waiting->done;
    waiting_.removeOne(waiting);
    co_return std::move(waiting->result);
}

QString ScriptedPhone::startDetached(const QString& program, const QStringList& arguments,
                                     int outputDescriptor) {
    runs_.append(Invocation{program, arguments, true, std::chrono::milliseconds(0)});
    if (hanging_.contains(arguments))
        return {};
    const Answer answer = phone_.run(arguments);
    if (outputDescriptor >= 0) {
        QFile file;
        if (file.open(outputDescriptor, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            file.write(answer.standardOutput + answer.standardError);
    }
    return {};
}

void ScriptedPhone::cancel() {
    // Each ended run resumes its flow at once, which takes it off the list.
    const QList<std::shared_ptr<Waiting>> waiting = waiting_;
    for (const std::shared_ptr<Waiting>& run : waiting)
        run->end(AdbRun::Status::Cancelled, u"adb was cancelled"_s);
}

// -- the phone ---------------------------------------------------------------

ScriptedPhone::Phone::Phone(const QJsonObject& scenario)
    : scenario_(scenario), package_(scenario.value(u"package"_s).toString()),
      running_(scenario.value(u"running"_s).toBool(false)) {
    for (const QJsonValue& forward : scenario.value(u"forwards"_s).toArray()) {
        QStringList entry;
        for (const QJsonValue& part : forward.toArray())
            entry.append(part.toString());
        forwards_.append(entry);
    }
}

QByteArray ScriptedPhone::Phone::forwardListing() const {
    QByteArray listing;
    for (const QStringList& forward : forwards_)
        listing += text(forward.join(u' ') + u'\n');
    return listing;
}

QJsonArray ScriptedPhone::Phone::deviceListing() const {
    const QJsonValue listings = scenario_.value(u"listings"_s);
    if (!listings.isArray()) {
        const QJsonArray emulator{u"emulator-5554"_s, u"device"_s};
        return QJsonArray{QJsonValue(emulator)};
    }
    const QJsonArray all = listings.toArray();
    return all.at(std::min(devicesRuns_, static_cast<int>(all.size()) - 1)).toArray();
}

QStringList ScriptedPhone::Phone::usableSerials() const {
    QStringList serials;
    for (const QJsonValue& device : deviceListing()) {
        const QJsonArray pair = device.toArray();
        if (pair.at(1).toString() == u"device"_s)
            serials.append(pair.at(0).toString());
    }
    return serials;
}

bool ScriptedPhone::Phone::gone() const {
    const QJsonValue goneFrom = scenario_.value(u"goneFrom"_s);
    return goneFrom.isDouble() && runs_ >= goneFrom.toInt();
}

bool ScriptedPhone::Phone::executablePresent(const QString& path) const {
    if (package_.isEmpty() || path != executablePath(package_))
        return false;
    return listingsOf_.value(path, 0) >= scenario_.value(u"presentFrom"_s).toInt(1);
}

bool ScriptedPhone::Phone::serverListed() const {
    if (!running_)
        return false;
    if (!launchedProbes_)
        return true;
    return *launchedProbes_ >= scenario_.value(u"appearAfter"_s).toInt(1);
}

ScriptedPhone::Answer ScriptedPhone::Phone::run(QStringList arguments) {
    ++runs_;
    QString serial;
    if (arguments.size() >= 2 && arguments.first() == u"-s"_s) {
        serial = arguments.at(1);
        arguments = arguments.mid(2);
    }
    if (arguments == QStringList{u"devices"_s})
        return devices();
    if (gone()) {
        if (!serial.isEmpty())
            return {{}, text(u"error: device '%1' not found\n"_s.arg(serial)), 1};
        return {{}, "error: no devices/emulators found\n", 1};
    }
    const QStringList usable = usableSerials();
    if (serial.isEmpty() && usable.size() > 1)
        return {{}, "error: more than one device/emulator\n", 1};
    if (!serial.isEmpty() && !usable.contains(serial))
        return {{}, text(u"error: device '%1' not found\n"_s.arg(serial)), 1};
    if (usable.isEmpty())
        return {{}, "error: no devices/emulators found\n", 1};
    // adb's server holds the forwards of every phone.
    if (arguments.value(0) == u"forward"_s)
        return forward(serial.isEmpty() ? usable.first() : serial, arguments.mid(1));
    return deviceOf(serial, usable).onDevice(arguments);
}

ScriptedPhone::Phone& ScriptedPhone::Phone::deviceOf(const QString& serial,
                                                     const QStringList& usable) {
    const QString named = serial.isEmpty() ? usable.first() : serial;
    const QJsonObject own = scenario_.value(u"phones"_s).toObject().value(named).toObject();
    if (own.isEmpty())
        return *this;
    std::shared_ptr<Phone>& device = devices_[named];
    if (!device) {
        QJsonObject scenario = scenario_;
        scenario.remove(u"phones"_s);
        scenario.remove(u"goneFrom"_s);
        for (auto it = own.begin(); it != own.end(); ++it)
            scenario.insert(it.key(), it.value());
        device = std::make_shared<Phone>(scenario);
    }
    return *device;
}

ScriptedPhone::Answer ScriptedPhone::Phone::onDevice(const QStringList& arguments) {
    if (arguments.value(0) == u"shell"_s)
        return shell(arguments.mid(1));
    return {{}, text(u"adb: unknown command %1\n"_s.arg(arguments.join(u' '))), 1};
}

ScriptedPhone::Answer ScriptedPhone::Phone::devices() {
    QStringList lines{u"List of devices attached"_s};
    if (!gone()) {
        for (const QJsonValue& device : deviceListing()) {
            const QJsonArray pair = device.toArray();
            lines.append(pair.at(0).toString() + u'\t' + pair.at(1).toString());
        }
    }
    ++devicesRuns_;
    return {text(lines.join(u'\n') + u"\n\n"_s), {}, 0};
}

bool ScriptedPhone::Phone::refuses(const QString& port) const {
    for (const QJsonValue& refused : scenario_.value(u"refusedPorts"_s).toArray()) {
        if (QString::number(refused.toInt()) == port)
            return true;
    }
    return false;
}

ScriptedPhone::Answer ScriptedPhone::Phone::forward(const QString& serial,
                                                    const QStringList& arguments) {
    const auto listener = [this](const QString& local) {
        return std::find_if(forwards_.begin(), forwards_.end(),
                            [&](const QStringList& entry) { return entry.value(1) == local; });
    };
    if (arguments.value(0) == u"--remove"_s) {
        const auto found = listener(arguments.value(1));
        if (found == forwards_.end())
            return {
                {}, text(u"adb: error: listener '%1' not found\n"_s.arg(arguments.value(1))), 1};
        forwards_.erase(found);
        return {};
    }
    const bool noRebind = arguments.value(0) == u"--no-rebind"_s;
    const QStringList sockets = noRebind ? arguments.mid(1) : arguments;
    if (noRebind && !quickerClientCame_ && scenario_.contains(u"quickerClient"_s)) {
        quickerClientCame_ = true;
        QStringList entry;
        for (const QJsonValue& part : scenario_.value(u"quickerClient"_s).toArray())
            entry.append(part.toString());
        forwards_.append(entry);
    }
    const QString first = sockets.value(0);
    const qsizetype colon = first.indexOf(u':');
    const QString port = colon >= 0 ? first.mid(colon + 1) : QString();
    const std::map<QString, std::shared_ptr<Phone>>::const_iterator own = devices_.find(serial);
    if (refuses(port) || (own != devices_.end() && own->second->refuses(port)))
        return {{}, "adb: error: cannot bind listener: Address already in use\n", 1};
    const auto found = listener(first);
    if (found != forwards_.end()) {
        if (noRebind)
            return {{}, "adb: error: cannot rebind existing socket\n", 1};
        *found = QStringList{serial, first, sockets.value(1)};
    } else {
        forwards_.append(QStringList{serial, first, sockets.value(1)});
    }
    if (scenario_.value(u"silentForward"_s).toBool())
        return {{}, {}, 0};
    if (scenario_.contains(u"forwardSays"_s))
        return {scenario_.value(u"forwardSays"_s).toString().toUtf8(), {}, 0};
    return {text(port + u'\n'), {}, 0};
}

ScriptedPhone::Answer ScriptedPhone::Phone::shell(const QStringList& command) {
    if (command == QStringList{u"ps"_s})
        return processes();
    if (command.size() == 3 && command.at(0) == u"ls"_s && command.at(1) == u"-l"_s)
        return fileListing(command.at(2));
    if (command.size() >= 2 && command.at(0) == u"am"_s && command.at(1) == u"start"_s)
        return startActivity(command.last());
    if (command.size() == 3 && command.at(0) == u"kill"_s && command.at(1) == u"-9"_s)
        return kill(command.at(2));
    if (command.size() == 3 && command.at(0) == u"input"_s && command.at(1) == u"keyevent"_s)
        return {};
    if (!command.isEmpty() && !package_.isEmpty() && command.at(0) == executablePath(package_))
        return server(command.mid(1));
    return {{}, text(u"/system/bin/sh: %1: not found\n"_s.arg(command.value(0))), 127};
}

ScriptedPhone::Answer ScriptedPhone::Phone::processes() {
    if (launchedProbes_)
        ++*launchedProbes_;
    QStringList lines{u"USER     PID   PPID  VSIZE  RSS     WCHAN    PC         NAME"_s,
                      u"root      1     0     8904   788   ffffffff 00000000 S /init"_s};
    if (!package_.isEmpty())
        lines.append(u"u0_a123   1200  180   1012345 40000 ffffffff 00000000 S %1"_s.arg(package_));
    if (serverListed()) {
        const int pid = scenario_.value(u"pid"_s).toInt(4321);
        const QString pidText = pid != 0 ? QString::number(pid) : u"?"_s;
        lines.append(u"u0_a123   %1  1     4560   900   ffffffff 00000000 S %2"_s.arg(
            pidText, executablePath(package_)));
    }
    return {text(lines.join(u'\n') + u'\n'), {}, 0};
}

bool ScriptedPhone::Phone::listingDenied(const QString& path) const {
    const QJsonValue denied = scenario_.value(u"listingDenied"_s);
    return denied.toBool(false) || (denied.isString() && path == executablePath(denied.toString()));
}

ScriptedPhone::Answer ScriptedPhone::Phone::fileListing(const QString& path) {
    listingsOf_[path] += 1;
    if (listingDenied(path))
        return {{}, text(u"ls: %1: Permission denied\n"_s.arg(path)), 1};
    if (!executablePresent(path))
        return {{}, text(u"ls: %1: No such file or directory\n"_s.arg(path)), 1};
    const int size = scenario_.value(u"size"_s).toInt(2000000);
    return {text(u"-rwxr-xr-x u0_a123  u0_a123  %1 2024-01-01 12:00 ostrelvncserver\n"_s.arg(size)),
            {},
            0};
}

ScriptedPhone::Answer ScriptedPhone::Phone::startActivity(const QString& component) const {
    const QString package = component.section(u'/', 0, 0);
    const QByteArray starting =
        text(u"Starting: Intent { act=android.intent.action.MAIN cmp=%1 }\n"_s.arg(component));
    if (package != package_)
        return {
            starting,
            text(u"Error type 3\nError: Activity class {%1} does not exist.\n"_s.arg(component)),
            1};
    return {starting, {}, 0};
}

ScriptedPhone::Answer ScriptedPhone::Phone::server(const QStringList& arguments) {
    if (arguments == QStringList{u"--stop"_s}) {
        if (scenario_.value(u"stopWorks"_s).toBool(true))
            running_ = false;
        return {};
    }
    const QString failure = scenario_.value(u"serverFails"_s).toString();
    if (!failure.isEmpty())
        return {text(u"ostrelvncserver: starting\n"_s), text(failure + u'\n'), 1};
    running_ = true;
    launchedProbes_ = 0;
    return {};
}

ScriptedPhone::Answer ScriptedPhone::Phone::kill(const QString& pid) {
    if (running_ && scenario_.value(u"killWorks"_s).toBool(true) &&
        pid == QString::number(scenario_.value(u"pid"_s).toInt(4321))) {
        running_ = scenario_.value(u"survivesKill"_s).toBool(false);
        return {};
    }
    return {{}, text(u"/system/bin/sh: kill: %1: Operation not permitted\n"_s.arg(pid)), 1};
}

} // namespace ostrel::test
