// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "e2e/AdbServerScope.h"
#include "e2e/SimulatedPhone.h"
#include "support/ControllerFixture.h"

#include <QString>
#include <QStringList>
#include <QTest>

#include <list>
#include <memory>

namespace ostrel::e2e {

// One scenario's world: a private adb server, the simulated phones it reaches
// and the real controller on an offscreen window, which runs whatever adb it
// finds by itself. The program ends first, then the phones, then adb's server.
class ProgramSession {
public:
    // `followServer`: the device list follows the private adb server, as
    // the program's list does; otherwise it changes only when a flow lists.
    // View's viewers are `viewers` when given, else scripted ones.
    explicit ProgramSession(Waits waits = Waits{}, bool followServer = false,
                            ViewerTrials* viewers = nullptr);
    ~ProgramSession();
    ProgramSession(const ProgramSession&) = delete;
    ProgramSession& operator=(const ProgramSession&) = delete;

    // Starts a phone and waits until the private adb server lists it in
    // `state`. On failure returns nullptr and says why.
    SimulatedPhone* attachPhone(const PhoneScenario& scenario, const QString& state,
                                QString* error);

    // Each waits until the flow it started has ended.
    void clickStart();
    // Clicks USB Connect and answers the port prompt with `portText` and OK.
    void usbConnect(const QString& portText = QStringLiteral("5901"));
    void triggerQuit();
    void waitForTheFlow();
    // Chooses the phone `serial` with the arrow keys in the device list,
    // once the list shows it and no flow runs; each choice is looked at.
    void choose(const QString& serial);

    // The device list as shown, and the serials behind its items ("No
    // device" has none).
    QStringList deviceItems() const;
    QStringList listedSerials() const;
    QString selectedSerial() const;
    // Waits up to `limitMs` until the list holds `serial` (or, `listed`
    // false, no longer does) and no flow runs; the time that took, or -1.
    qint64 waitForListing(const QString& serial, bool listed = true, int limitMs = 5000);

    QString buttonTitle() const;
    QString statusText() const;
    QString console() const;
    QStringList linkTargets() const;
    // The console, the adb server's log and the phones' complaints, for
    // failure messages.
    QString story() const;

    AdbServerScope& scope() { return scope_; }
    const AdbServerScope& scope() const { return scope_; }
    test::ControllerFixture& program() { return *program_; }
    const test::ControllerFixture& program() const { return *program_; }

private:
    AdbServerAddress scopeServer() const;
    AdbServerScope scope_;
    std::list<SimulatedPhone> phones_;
    std::unique_ptr<test::ControllerFixture> program_;
};

// Empty when the program runs the adb on PATH and that is a real adb;
// otherwise what it runs instead.
QString whyNotTheRealAdb(const ProgramSession& session);

// A device command as the phone logs it: the words after adb's "shell".
QStringList onPhone(const QStringList& adbArguments);

} // namespace ostrel::e2e

// Declares `phone` and attaches it to the session; fails the calling test
// (never skips) when the phone cannot be had.
#define ATTACH_PHONE(phone, session, scenario, state)                                              \
    ostrel::e2e::SimulatedPhone* phone = nullptr;                                                  \
    do {                                                                                           \
        QString why;                                                                               \
        phone = (session).attachPhone(scenario, state, &why);                                      \
        QVERIFY2(phone != nullptr, qPrintable(why + QStringLiteral("\n") + (session).story()));    \
    } while (false)
