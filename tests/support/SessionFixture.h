// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Waits.h"
#include "core/session/BridgeSession.h"
#include "support/FakeAdbServer.h"
#include "support/MemorySettings.h"
#include "support/ScriptedPhone.h"
#include "support/TestPorts.h"

#ifndef Q_MOC_RUN // moc cannot read the standard coroutine headers
#include <QCoro/QCoroTask>
#endif

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <optional>
#include <utility>

namespace ostrel::test {

// Waits short enough for tests, long enough for a real child process.
Waits fastWaits();

// The adb at `path`, whatever the settings say.
AdbLookup adbAt(const QString& path);

// What a session said and signalled, as the window would have shown it.
class SessionRecorder {
public:
    explicit SessionRecorder(BridgeSession& session);
    // A session's parts without it: what they say, and the lists `discovery`
    // fills when there is one.
    explicit SessionRecorder(SessionConsole& console, DeviceDiscovery* discovery = nullptr);

    // Forgets everything recorded so far, as the console's Clear does.
    void clear();

    // The console's plain text: every "\r\n" shows as one "\n", and the window
    // puts one more line break after every link.
    QString console;
    // The failure-kind part of it alone.
    QString failures;
    QList<std::pair<QString, QUrl>> links; // description as written, target
    QList<std::pair<QStringList, int>> deviceLists;
    QList<bool> serverStates;
    QList<bool> busyChanges;
    // How many lists were shown when a flow last ended: the list that
    // follows the end comes a turn later.
    qsizetype listsWhenIdle = 0;

private:
    void append(const QString& text, MessageKind kind);

    QObject listening_; // its connections end with the recorder
};

// A session on a scripted phone, its adb a path that exists nowhere. Its adb
// server's socket is a fake one that lists the phone's forwards as they are,
// unless the session is told of another server, or of none.
class SessionFixture {
public:
    static inline const QString AdbPath = QStringLiteral("/scripted/adb");

    explicit SessionFixture(const QJsonObject& scenario = {}, Waits waits = fastWaits());
    SessionFixture(const QJsonObject& scenario, Waits waits,
                   std::optional<AdbServerAddress> adbServer);
    ~SessionFixture();
    SessionFixture(const SessionFixture&) = delete;
    SessionFixture& operator=(const SessionFixture&) = delete;

#ifndef Q_MOC_RUN
    template <typename T> T run(QCoro::Task<T>&& task) {
        return QCoro::waitFor(std::move(task));
    }
    void run(QCoro::Task<void>&& task) {
        QCoro::waitFor(std::move(task));
    }
#endif

    // The runs made since an earlier count of them.
    QList<QStringList> runsSince(qsizetype before) const {
        return phone.invocations().mid(before);
    }

private:
    SessionFixture(const QJsonObject& scenario, Waits waits, bool ownServer,
                   std::optional<AdbServerAddress> adbServer);
    SessionEnvironment environment(bool ownServer, std::optional<AdbServerAddress> adbServer);

public:
    MemorySettings settings; // what the session remembers, for this fixture's life
    // Local ports that some program on this computer listens on.
    QSet<uint16_t> portsInUse;
    ScriptedPhone phone;
    FakeAdbServer server;
    BridgeSession session;
    SessionRecorder seen;
};

} // namespace ostrel::test
