// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Waits.h"
#include "core/device/DeviceListing.h"
#include "core/server/AdbServerAddress.h"
#include "core/server/DeviceListSettler.h"
#include "core/server/DeviceTrackReader.h"

#include <QCoro/QCoroFwd>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <optional>

namespace ostrel {

// Follows adb's server's device list over the server's own socket
// ("host:track-devices"), never through an adb process, so it never starts a
// server. Connection attempts start at least `retry` apart, whatever asks for
// them, so that a server that is missing, refuses or answers nonsense is
// never hammered: while none answers the watch tries every `retry`, on
// poke() only when it has not tried for that long. When the server goes away
// (killed, crashed, replaced by another adb's) or breaks the protocol, the
// watch tries again as soon as that allows. An attempt that has no first
// list within `answerLimit` has failed. After stop() it never connects again.
//
// The list it reports has settled: the first list of a connection shows at
// once; after that each phone shows changed once it has been away from what
// is shown for `settle` (see DeviceListSettler), so a state that reverts
// sooner is never shown, and changes show at most ten times a second, the
// latest state winning. A reconnection that finds the phones shown reports
// nothing.
//
// For each usable phone listed the watch asks the server for the long
// listing, on a second connection, and reports the phone's model. One
// request is in flight at a time; phones that arrive meanwhile are asked for
// once it ends. A model lasts while its phone stays listed, and a phone is
// asked once while it stays listed and usable; one that leaves takes its
// model with it, as its serial may come back as another phone (emulators,
// network addresses). However fast a server sends, the watch holds one
// tracking connection, one model request and one frame or so of its bytes.
//
// Connected means the server accepted the request and its first list is
// shown. While the server is lost the last list stays shown; the first
// attempt that fails once it has been lost for `lostAfter` empties the list
// and reports the watch disconnected.
class DeviceWatch : public QObject {
    Q_OBJECT

public:
    explicit DeviceWatch(const AdbServerAddress& address, QObject* parent = nullptr);
    DeviceWatch(const AdbServerAddress& address, const DeviceWatchTiming& timing,
                QObject* parent = nullptr);
    ~DeviceWatch() override;

    // Starts connecting; nothing after stop().
    void start();
    // Ends the watch for good (Quit): the connection closes, nothing is
    // reported any more, and devices(), models() and isConnected() keep what
    // was last reported.
    void stop();
    // Tries to connect now if no server is being watched, as after an adb
    // command that may have started one, unless an attempt started less
    // than `retry` ago (the next one then comes in its turn).
    void poke();

    AdbServerAddress address() const { return address_; }
    bool isConnected() const { return connected_; }
    // The settled list, in the server's order; empty while disconnected.
    QList<ListedDevice> devices() const { return reported_; }
    // The model reported for `serial`; empty when none is known.
    QString model(const QString& serial) const { return models_.value(serial); }
    // Every model known, by serial, for phones listed now.
    QHash<QString, QString> models() const { return models_; }

Q_SIGNALS:
    // The settled list changed. Emitted before connectedChanged(true) on
    // connecting and before connectedChanged(false) (with an empty list) on
    // losing the server.
    void devicesChanged(const QList<ListedDevice>& devices);
    void connectedChanged(bool connected);
    // A usable phone's model, from the server's long listing, shown as
    // people read it ("KS 200") but still adb's text.
    void modelKnown(const QString& serial, const QString& model);
    // A connection came to nothing or ended in a broken reply: no server
    // (`serverAnswered` false), or one that refused or broke the protocol.
    // Another attempt follows in its turn. At most one a `retry`, and the
    // same reason comes again for as long as the trouble lasts: listeners
    // say each once. `reason` may quote the server: show it through
    // visibleText().
    void attemptFailed(const QString& reason, bool serverAnswered);

private:
    enum class Phase { NotStarted, Waiting, Connecting, AwaitingFirstList, Tracking, Stopped };
    using Time = std::chrono::milliseconds;

    Time now() const { return Time(clock_.elapsed()); }
    void connectNow();
    void scheduleAttempt();
    void onConnected();
    void onReadyRead();
    void onSocketEnded();
    void onAnswerTimeout();
    void takeListing(const QList<ListedDevice>& devices);
    void failAttempt(const QString& reason, bool serverAnswered);
    void loseServer();
    void declareLost();
    void settleChanges();
    void scheduleSettling();
    void report(const QList<ListedDevice>& devices);
    void setConnected(bool connected);
    void forgetUnlistedModels();
    void askModels();
    void takeModels(const std::optional<QByteArray>& longListing, const QStringList& serials);
    static QCoro::Task<void> fetchModels(QPointer<DeviceWatch> watch, AdbServerAddress address,
                                         std::chrono::milliseconds limit, QStringList serials);

    AdbServerAddress address_;
    DeviceWatchTiming timing_;
    Phase phase_ = Phase::NotStarted;
    QTcpSocket socket_;
    DeviceTrackReader reader_;
    DeviceListSettler settler_;
    QElapsedTimer clock_;
    QTimer retryTimer_;
    QTimer answerTimer_;
    QTimer settleTimer_;
    std::optional<Time> lastAttempt_; // when the last connection attempt started
    std::optional<Time> lostSince_;   // when the server shown was lost, until found again
    std::optional<Time> lastShown_;   // when a list was last reported
    std::optional<Time> settleDue_;   // when settleTimer_ fires
    QList<ListedDevice> reported_;
    bool connected_ = false;
    QHash<QString, QString> models_;
    QSet<QString> asked_;       // phones asked for, while listed and usable
    bool askingModels_ = false; // a model request is in flight
};

} // namespace ostrel
