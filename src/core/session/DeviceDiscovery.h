#pragma once

#include "core/device/DeviceListing.h"
#include "core/session/FlowOutcome.h"

#include <QCoro/QCoroFwd>
#include <QList>
#include <QObject>
#include <QString>

#include <utility>

namespace ostrel {

class AdbCommands;
class SessionConsole;

// Which phones are attached, and which one the flows work on. Every flow
// lists anew, and a flow never moves from the phone chosen when it began to
// another: when that phone has gone, the flow ends.
class DeviceDiscovery : public QObject {
    Q_OBJECT

public:
    // How a flow picks its phone when none has been chosen yet.
    enum class Choice {
        FirstUsable, // the window: the first usable phone
        OnlyUsable,  // scripts: the one usable phone, and none when several are
    };

    DeviceDiscovery(AdbCommands& commands, SessionConsole& console, QObject* parent = nullptr);

    // Lists the phones and gives the serial of the one the flow is for.
    QCoro::Task<Step<QString>> adbDevices();
    // Only lists: the phones attached now, nothing chosen.
    QCoro::Task<Step<QList<ListedDevice>>> listDevices();
    // Takes a listing in: the list, the selection and what the user is told.
    Step<QString> handleAdbDevicesOutput(const QList<ListedDevice>& devices);

    // The user's choice: kept only for a usable phone of the current list.
    void selectDevice(const QString& serial);
    // A script's choice: the phone every flow must find, or none.
    void requireDevice(const QString& serial) { required_ = serial; }
    void setChoice(Choice choice) { choice_ = choice; }

    QString selectedDevice() const { return selected_; }
    const QList<ListedDevice>& listedDevices() const { return listed_; }
    QStringList usableSerials() const;
    // The two lines for a listing without a usable phone.
    void sayNoDevice();
    // One line of advice for each attached phone that cannot be used.
    void adviseOnUnusableDevices();
    // Whether a listing moved the selection to another phone since last asked.
    bool takeSelectionMoved() { return std::exchange(selectionMoved_, false); }

Q_SIGNALS:
    // Every attached phone, and the serial selected (empty: none usable).
    void devicesListed(const QList<ostrel::ListedDevice>& devices, const QString& selected);

private:
    Step<QString> keepOrLoseSelection(const QStringList& usable);
    Step<QString> findRequiredDevice(const QStringList& usable);
    Step<QString> pickDevice(const QStringList& usable);
    Step<QString> ends();

    AdbCommands& commands_;
    SessionConsole& console_;
    QList<ListedDevice> listed_;
    QString selected_;
    QString required_;
    Choice choice_ = Choice::FirstUsable;
    bool selectionMoved_ = false;
};

} // namespace ostrel
