// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/SessionFixture.h"

#include "core/device/DeviceItems.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace ostrel::test {

using namespace Qt::Literals::StringLiterals;

Waits fastWaits() {
    using std::chrono::milliseconds;
    Waits waits;
    waits.presenceRetry = milliseconds(10);
    waits.settle = milliseconds(5);
    waits.serverAppearPoll = milliseconds(10);
    waits.serverAppearLimit = milliseconds(100);
    waits.commandTimeout = milliseconds(10000);
    waits.updateTimeout = milliseconds(3000);
    // Only tests with a server of their own behind the port wait for its greeting.
    waits.forwardGreeting = milliseconds(0);
    return waits;
}

AdbLookup adbAt(const QString& path) {
    return AdbLookup([path] { return path; }, QCoreApplication::applicationDirPath());
}

SessionRecorder::SessionRecorder(BridgeSession& session) {
    QObject::connect(&session, &BridgeSession::consoleText, &listening_,
                     [this](const QString& text, MessageKind kind) { append(text, kind); });
    QObject::connect(&session, &BridgeSession::consoleLink, &listening_,
                     [this](const QString& description, const QUrl& url, MessageKind kind) {
                         links.append({description, url});
                         append(description + u"\r\n"_s, kind);
                     });
    QObject::connect(&session, &BridgeSession::devicesListed, &listening_,
                     [this, &session](const QList<ListedDevice>& devices, const QString& selected) {
                         const DeviceItems shown =
                             deviceItems(devices, selected, session.deviceModels());
                         deviceLists.append({shown.texts(), shown.current});
                     });
    QObject::connect(&session, &BridgeSession::serverStateChanged, &listening_,
                     [this](bool running) { serverStates.append(running); });
    QObject::connect(&session, &BridgeSession::busyChanged, &listening_, [this](bool busy) {
        busyChanges.append(busy);
        if (!busy)
            listsWhenIdle = deviceLists.size();
    });
}

SessionRecorder::SessionRecorder(SessionConsole& console, DeviceDiscovery* discovery) {
    QObject::connect(&console, &SessionConsole::consoleText, &listening_,
                     [this](const QString& text, MessageKind kind) { append(text, kind); });
    if (!discovery)
        return;
    QObject::connect(discovery, &DeviceDiscovery::devicesListed, &listening_,
                     [this](const QList<ListedDevice>& devices, const QString& selected) {
                         const DeviceItems shown = deviceItems(devices, selected, {});
                         deviceLists.append({shown.texts(), shown.current});
                     });
}

void SessionRecorder::clear() {
    console.clear();
    failures.clear();
    links.clear();
    deviceLists.clear();
    serverStates.clear();
    busyChanges.clear();
    listsWhenIdle = 0;
}

void SessionRecorder::append(const QString& text, MessageKind kind) {
    QString shown = text;
    shown.replace(u"\r\n"_s, u"\n"_s);
    console += shown;
    if (kind == MessageKind::Failure)
        failures += shown;
}

SessionFixture::SessionFixture(const QJsonObject& scenario, Waits waits)
    : SessionFixture(scenario, waits, true, std::nullopt) {}

SessionFixture::SessionFixture(const QJsonObject& scenario, Waits waits,
                               std::optional<AdbServerAddress> adbServer)
    : SessionFixture(scenario, waits, false, adbServer) {}

SessionFixture::SessionFixture(const QJsonObject& scenario, Waits waits, bool ownServer,
                               std::optional<AdbServerAddress> adbServer)
    : phone(scenario),
      session(phone, settings, adbAt(AdbPath), environment(ownServer, adbServer), waits),
      seen(session) {
    // A server's output that falls back to the cache folder goes to Qt's
    // folder for tests, never the user's.
    QStandardPaths::setTestModeEnabled(true);
    server.setLiveReply("host:list-forward",
                        [this] { return FakeAdbServer::okay(phone.forwardListing()); });
}

SessionEnvironment SessionFixture::environment(bool ownServer,
                                               std::optional<AdbServerAddress> adbServer) {
    SessionEnvironment environment;
    server.listen();
    environment.adbServer = ownServer ? server.address() : adbServer;
    // Whether a port is free here is the test's to say, not this machine's.
    environment.localPortFree = [this](TcpPort port) {
        return !portsInUse.contains(port.number());
    };
    return environment;
}

SessionFixture::~SessionFixture() {
    // A flow still waiting must end before the phone it waits on goes.
    session.cancel();
}

} // namespace ostrel::test
