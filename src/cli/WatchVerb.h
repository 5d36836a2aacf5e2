#pragma once

#include "core/device/DeviceListing.h"
#include "core/server/DeviceWatch.h"

#include <QCoro/QCoroFwd>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace ostrel {
class BridgeSession;
}

namespace ostrel::cli {

class CommandLineOutput;

// `--watch`: prints every attached phone as `SERIAL<TAB>STATE`, then a line
// for each change (`SERIAL<TAB>gone` for one that left), until it is
// stopped. Unlike the window it starts adb's server when none answers, as
// scripts expect of an adb command, and again whenever the server is lost.
class WatchVerb : public QObject {
    Q_OBJECT

public:
    // How long a server may take to answer before the verb gives up.
    static constexpr std::chrono::milliseconds FirstServerLimit{5000};

    // `serial` non-empty: only that phone's lines.
    WatchVerb(BridgeSession& session, CommandLineOutput& output, QString serial,
              QObject* parent = nullptr);
    ~WatchVerb() override;

    void start();
    // Ends the watch; `finished` follows with `status`.
    void stop(int status);

Q_SIGNALS:
    void finished(int status);

private:
    void print(const QList<ListedDevice>& devices);
    void onAttemptFailed(const QString& reason);
    QCoro::Task<void> startServer();

    BridgeSession& session_;
    CommandLineOutput& output_;
    QString serial_;
    std::unique_ptr<DeviceWatch> watch_;
    QList<ListedDevice> printed_;
    QTimer firstServerLimit_;
    QString lastProblem_;
    bool startingServer_ = false;
    bool ended_ = false;
};

} // namespace ostrel::cli
