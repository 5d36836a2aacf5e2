#pragma once

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
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>

namespace ostrel {

// The watch's waits; tests shorten them.
struct DeviceWatchTiming {
    std::chrono::milliseconds retry{2000};      // between connection attempts
    std::chrono::milliseconds settle{500};      // a phone shows changed once away this long
    std::chrono::milliseconds lostAfter{2000};  // without a server before saying so
    std::chrono::milliseconds modelLimit{2000}; // for asking the server for models
};

// Follows adb's server's device list over the server's own socket
// ("host:track-devices"), never through an adb process, so it never starts a
// server: while none answers it tries a TCP connection every `retry`, and at
// once on poke(). When the server goes away (killed, crashed, replaced by
// another adb's) it tries once at once and then the same way. After stop() it
// never connects again.
//
// The list it reports has settled: the first list of a connection shows at
// once; after that each phone shows changed once it has been away from what
// is shown for `settle` (see DeviceListSettler), so a state that reverts
// sooner is never shown. When a list brings a usable phone that the one
// before did not, the watch asks the server for the long listing on a second
// connection and reports that phone's model.
//
// Connected means the server accepted the request and its first list is
// shown. A server lost for less than `lostAfter` goes unreported, its last
// list still shown; after that the list empties and the watch reports itself
// disconnected.
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
    // reported any more, and devices() and isConnected() keep what was last
    // reported.
    void stop();
    // Tries to connect now if no server is being watched, as after an adb
    // command that may have started one.
    void poke();

    AdbServerAddress address() const { return address_; }
    bool isConnected() const { return connected_; }
    // The settled list, in the server's order; empty while disconnected.
    QList<ListedDevice> devices() const { return reported_; }
    // The model last reported for `serial`; empty when none is known.
    QString model(const QString& serial) const { return models_.value(serial); }

Q_SIGNALS:
    // The settled list changed. Emitted before connectedChanged(true) on
    // connecting and before connectedChanged(false) (with an empty list) on
    // losing the server.
    void devicesChanged(const QList<ListedDevice>& devices);
    void connectedChanged(bool connected);
    // Each time a usable phone arrives and the server's long listing gives
    // its model, shown as people read it ("KS 200") but still adb's text.
    void modelKnown(const QString& serial, const QString& model);
    // A connection attempt came to nothing: no server, a refusal or a broken
    // reply. Another follows after `retry` or on poke(). `reason` may quote
    // the server: show it through visibleText().
    void attemptFailed(const QString& reason);

private:
    enum class Phase { NotStarted, Waiting, Connecting, AwaitingFirstList, Tracking, Stopped };

    void connectNow();
    void onConnected();
    void onReadyRead();
    void onSocketEnded();
    void takeListing(const QList<ListedDevice>& devices);
    void failAttempt(const QString& reason);
    void loseServer(std::chrono::milliseconds nextAttempt);
    void onLostTimeout();
    void settleChanges();
    void scheduleSettling();
    void report(const QList<ListedDevice>& devices);
    void setConnected(bool connected);
    void askModels(const QList<ListedDevice>& devices, const QList<ListedDevice>& before);
    void takeModels(const QByteArray& longListing, const QStringList& serials,
                    const QStringList& knownSerials);
    static QCoro::Task<void> fetchModels(QPointer<DeviceWatch> watch, AdbServerAddress address,
                                         std::chrono::milliseconds limit, QStringList serials,
                                         QStringList knownSerials);

    AdbServerAddress address_;
    DeviceWatchTiming timing_;
    Phase phase_ = Phase::NotStarted;
    QTcpSocket socket_;
    DeviceTrackReader reader_;
    DeviceListSettler settler_;
    QElapsedTimer clock_;
    QTimer retryTimer_;
    QTimer settleTimer_;
    QTimer lostTimer_;
    QList<ListedDevice> reported_;
    bool connected_ = false;
    QHash<QString, QString> models_;
};

} // namespace ostrel
