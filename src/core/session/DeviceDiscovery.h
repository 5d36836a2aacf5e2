// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/DeviceListing.h"
#include "core/session/FlowOutcome.h"

#include <QCoro/QCoroFwd>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <utility>

namespace ostrel {

class AdbCommands;
class DeviceWatch;
class SessionConsole;

// Which phones are attached, and which one the flows work on. Every flow
// lists anew (from the watched list when adb's server is being watched), and
// a flow never moves from the phone chosen when it began to another: when
// that phone has gone, the flow ends.
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
    // Flows take the phones from `watch` while it is connected, instead of
    // running adb; nothing: they always run adb.
    void useWatch(const DeviceWatch* watch) { watch_ = watch; }
    // The watched list changed while no flow runs: the selection follows it.
    // A selected phone that left or became unusable is said so (with its
    // state's advice), and the first usable phone, if any, is selected.
    // Without a server (`connected` false) the list empties without a word.
    // Returns whether another phone was selected, which wants its probe.
    bool followListing(const QList<ListedDevice>& devices, bool connected);
    // The watched list changed while a flow runs: shown, and nothing else
    // changes until the flow has ended.
    void showListing(const QList<ListedDevice>& devices);
    // Only lists: the phones attached now, nothing chosen. A listing adb
    // failed to make ends the flow in adb's words, never as an empty list.
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
    // The same, only for a phone new to its state since the last time.
    void adviseOnChangedDevices();
    // Whether a listing moved the selection to another phone since last asked.
    bool takeSelectionMoved() { return std::exchange(selectionMoved_, false); }

Q_SIGNALS:
    // Every attached phone, and the serial selected (empty: none usable).
    void devicesListed(const QList<ostrel::ListedDevice>& devices, const QString& selected);

private:
    Step<QString> choosePhone();
    void sayListing(const QList<ListedDevice>& devices);
    void sayDeparture(const QString& serial);
    Step<QString> keepOrLoseSelection(const QStringList& usable);
    Step<QString> findRequiredDevice(const QStringList& usable);
    Step<QString> pickDevice(const QStringList& usable);
    Step<QString> ends();

    AdbCommands& commands_;
    SessionConsole& console_;
    QList<ListedDevice> listed_;
    QString selected_;
    QString required_;
    QPointer<const DeviceWatch> watch_;
    QHash<QString, QString> advised_; // the state each unusable phone was advised on
    Choice choice_ = Choice::FirstUsable;
    bool selectionMoved_ = false;
};

} // namespace ostrel
