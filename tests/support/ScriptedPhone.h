// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/process/CommandRunner.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <map>
#include <memory>
#include <optional>

namespace ostrel::test {

// Plays an Android phone with the Ostrel VNC Server app in place of adb, in
// this process. Scenario keys (all optional):
//   listings       device listings, one per "devices" run (the last one
//                  repeats); a listing is an array of [serial, state] pairs.
//                  Default: one device "emulator-5554" in state "device".
//   package        package the app is installed under; absent or null: not installed
//   size           size of the server executable in bytes
//   presentFrom    the executable shows from the Nth listing of its path on
//   running        the server runs from the start
//   appearAfter    a launched server shows in the Nth process listing after
//                  its launch (1: the first)
//   pid            the server's process id; 0 prints a process line without one
//   stopWorks      "--stop" ends the server (default true)
//   killWorks      "kill -9 PID" ends the server (default true); false: it
//                  is refused with "Operation not permitted"
//   survivesKill   "kill -9 PID" succeeds, yet the server stays listed
//   serverFails    a launched server prints this text on standard error and
//                  ends without ever being listed
//   listingDenied  "ls -l" is refused with "Permission denied": true for every
//                  path, or a package name for that package's path alone
//   goneFrom       from the Nth adb run on (counting every run, detached ones
//                  too), the device is unplugged
//   refusedPorts   ports whose forward adb refuses
//   silentForward  a working forward prints nothing (older adb)
//   forwardSays    a working forward prints this text in place of its port
//   forwards       the forwards adb's server holds at the start, an array of
//                  [serial, local, remote] (["A", "tcp:5901", "tcp:5901"]);
//                  "forward", "forward --no-rebind" and "forward --remove"
//                  change them as adb does, whichever phone a port leads to
//   quickerClient  one such forward that another client makes just before
//                  the first "forward --no-rebind" runs
//   phones         an object from serial to scenario keys: that device is a
//                  phone of its own, its keys over the others (listings and
//                  goneFrom stay with the whole)
//
// A detached run writes what it printed into its output file, as adb would.
class ScriptedPhone : public CommandRunner {
public:
    explicit ScriptedPhone(const QJsonObject& scenario = {});
    ~ScriptedPhone() override;
    ScriptedPhone(const ScriptedPhone&) = delete;
    ScriptedPhone& operator=(const ScriptedPhone&) = delete;

    // Plays the runs so far again under `scenario`, as if it had held from the
    // start.
    void setScenario(const QJsonObject& scenario);
    // A run with exactly these arguments never answers: it ends only by its
    // time-out or a cancel, and leaves the phone as it was.
    void hangOn(const QStringList& arguments);

    struct Invocation {
        QString program;
        QStringList arguments;
        bool detached = false;
        std::chrono::milliseconds timeout{0}; // detached runs have none
    };
    const QList<Invocation>& runs() const { return runs_; }
    // Every run so far, waited for or detached, in the order they were made.
    QList<QStringList> invocations() const;
    // How many runs are being waited for now.
    int waiting() const;
    // The reply to "host:list-forward": "SERIAL LOCAL REMOTE\n" lines.
    QByteArray forwardListing() const { return phone_.forwardListing(); }

    QCoro::Task<AdbRun> run(const QString& program, const QStringList& arguments,
                            std::chrono::milliseconds timeout) override;
    QString startDetached(const QString& program, const QStringList& arguments,
                          int outputDescriptor) override;
    void cancel() override;

    // What one adb run printed and returned.
    struct Answer {
        QByteArray standardOutput;
        QByteArray standardError;
        int exitCode = 0;
    };

    // The phone's state, built up run by run.
    class Phone {
    public:
        explicit Phone(const QJsonObject& scenario);
        Answer run(QStringList arguments);
        QByteArray forwardListing() const;

    private:
        Phone& deviceOf(const QString& serial, const QStringList& usable);
        Answer onDevice(const QStringList& arguments);
        QJsonArray deviceListing() const;
        QStringList usableSerials() const;
        bool gone() const;
        bool executablePresent(const QString& path) const;
        bool serverListed() const;
        Answer devices();
        Answer forward(const QString& serial, const QStringList& arguments);
        bool refuses(const QString& port) const;
        Answer shell(const QStringList& command);
        Answer processes();
        Answer fileListing(const QString& path);
        bool listingDenied(const QString& path) const;
        Answer startActivity(const QString& component) const;
        Answer server(const QStringList& arguments);
        Answer kill(const QString& pid);

        QJsonObject scenario_;
        QString package_; // empty: not installed
        bool running_ = false;
        std::optional<int> launchedProbes_; // process listings since the last launch
        QHash<QString, int> listingsOf_;
        int devicesRuns_ = 0;
        int runs_ = 0;
        std::map<QString, std::shared_ptr<Phone>> devices_; // by serial, from "phones"
        QList<QStringList> forwards_; // [serial, local, remote], as the server holds them
        bool quickerClientCame_ = false;
    };

private:
    struct Waiting;

    QJsonObject scenario_;
    Phone phone_;
    QList<QStringList> hanging_;
    QList<Invocation> runs_;
    QList<std::shared_ptr<Waiting>> waiting_;
    QObject timers_; // ends with the phone, and takes its pending answers along
};

} // namespace ostrel::test
