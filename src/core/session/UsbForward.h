#pragma once

#include "core/session/FlowOutcome.h"

#include <QCoro/QCoroFwd>
#include <QObject>
#include <QString>

#include <cstdint>

namespace ostrel {

class AdbCommands;
class SessionConsole;

// Reaching a phone's VNC and web ports through localhost over USB.
class UsbForward : public QObject {
    Q_OBJECT

public:
    UsbForward(AdbCommands& commands, SessionConsole& console, QObject* parent = nullptr);

    // Forwards the VNC port and the web port 100 below it; the step's value
    // is true when every forward that can exist holds.
    QCoro::Task<Step<bool>> adbForward(QString serial, int32_t port);

    // Whether a forward made by this program has held.
    bool forwardInForce() const { return forwardInForce_; }
    // Taken as holding without a forward of ours (the window's tests).
    void setForwardInForce(bool inForce) { forwardInForce_ = inForce; }

private:
    QCoro::Task<Step<bool>> forwardPort(QString serial, int32_t port);
    void sayAddress(const QString& sentence, const QString& address);

    AdbCommands& commands_;
    SessionConsole& console_;
    // Forwards are never removed, so one that worked holds until adb's server ends.
    bool forwardInForce_ = false;
};

} // namespace ostrel
