#pragma once

#include "core/Waits.h"
#include "core/server/AdbServerAddress.h"
#include "core/server/RfbGreetingWait.h"
#include "core/session/FlowOutcome.h"
#include "core/session/ForwardListReader.h"

#include <QCoro/QCoroFwd>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace ostrel {

class AdbCommands;
class SessionConsole;

// Reaching a phone's VNC and web ports through localhost over USB, and
// freeing them again. adb's server holds the forwards for every client and
// every phone, so each step reads its list first: a port that leads to
// another phone is never taken over.
class UsbForward : public QObject {
    Q_OBJECT

public:
    UsbForward(AdbCommands& commands, SessionConsole& console, Waits waits,
               QObject* parent = nullptr);

    // Forwards the VNC port and the web port 100 below it; the step's value
    // is true when every forward that can exist holds. `server` is where the
    // forward list is read.
    QCoro::Task<Step<bool>> adbForward(QString serial, int32_t port,
                                       std::optional<AdbServerAddress> server);
    // Removes every forward that leads to `serial`; true when none does at the end.
    QCoro::Task<Step<bool>> adbRemoveForwards(QString serial,
                                              std::optional<AdbServerAddress> server);
    // The list as the server has it now, for showing which ports lead where.
    QCoro::Task<ForwardListRead> readForwards(std::optional<AdbServerAddress> server);

    // Ends a pending read or greeting wait at once.
    void cancel();

private:
    enum class Outcome { Holds, Failed, Refused };
    QCoro::Task<Step<Outcome>> forwardPort(QString serial, int32_t port, bool renew,
                                           std::optional<AdbServerAddress> server);
    QCoro::Task<Step<bool>> checkGreeting(int32_t port);
    void sayAddress(const QString& sentence, const QString& address);
    void sayTaken(int32_t port, const QString& other);

    AdbCommands& commands_;
    SessionConsole& console_;
    Waits waits_;
    ForwardListReader reader_;
    RfbGreetingWait greetings_;
};

// "localhost:5901", "localhost:5901 and localhost:5801", "localhost:1, localhost:2 and
// localhost:3".
QString localPortsText(const QList<uint16_t>& ports);

} // namespace ostrel
