// SPDX-License-Identifier: GPL-3.0-or-later
// The phone's buttons through adb: the command each one runs, the order of
// quick presses, and the one line a press that did not get through says.
#include "core/session/PhoneButtons.h"
#include "support/AdbLookupEnvironment.h"
#include "support/PhoneButtonRows.h"
#include "support/ScriptedPhone.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(ostrel::AdbRun)

namespace {

const QString Adb = u"/opt/sdk/platform-tools/adb"_s;
const QString Serial = u"emulator-5554"_s;

AdbLookup chosenAdb(const QString& path = Adb) {
    return AdbLookup([path] { return path; }, {});
}

QStringList keyEvent(const QString& serial, int code) {
    return {u"-s"_s, serial, u"shell"_s, u"input"_s, u"keyevent"_s, QString::number(code)};
}

AdbRun ran(AdbRun::Status status, int exitCode, QByteArray out, QByteArray err,
           QString errorText = {}) {
    AdbRun run;
    run.status = status;
    run.exitCode = exitCode;
    run.standardOutput = std::move(out);
    run.standardError = std::move(err);
    run.errorText = std::move(errorText);
    return run;
}

} // namespace

class TestPhoneButtons : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eachButtonRunsItsKeyEvent_data();
    void eachButtonRunsItsKeyEvent();
    void quickPressesRunOneAfterTheOtherInOrder();
    void failureLine_data();
    void failureLine();
    void goneDeviceSaysAdbsWords();
    void pressPastItsLimitSaysSoAndDropsTheQueue();
    void nothingRunsWithoutAdbOrWithAnUnnameableSerial_data();
    void nothingRunsWithoutAdbOrWithAnUnnameableSerial();
    void answerAfterTheButtonsWentIsDropped();
};

void TestPhoneButtons::eachButtonRunsItsKeyEvent_data() {
    addPhoneButtonRows();
}

// Two phones attached: a command without -s would fail, or reach the wrong one.
void TestPhoneButtons::eachButtonRunsItsKeyEvent() {
    QFETCH(PhoneButton, button);
    QFETCH(int, code);
    const QJsonArray bothAttached =
        QJsonDocument::fromJson(R"([[["first", "device"], ["R58M12345", "device"]]])").array();
    ScriptedPhone phone(QJsonObject{{u"listings"_s, bothAttached}});
    PhoneButtons buttons(phone, chosenAdb(), u"R58M12345"_s, 4s);
    QSignalSpy failed(&buttons, &PhoneButtons::failed);

    buttons.press(button);
    QTRY_COMPARE(phone.waiting(), 0);

    QCOMPARE(phone.runs().size(), 1);
    QCOMPARE(phone.runs().first().program, Adb);
    QCOMPARE(phone.runs().first().arguments, keyEvent(u"R58M12345"_s, code));
    QCOMPARE(phone.runs().first().timeout, 4s);
    QCOMPARE(failed.size(), 0);
}

void TestPhoneButtons::quickPressesRunOneAfterTheOtherInOrder() {
    ScriptedPhone phone;
    PhoneButtons buttons(phone, chosenAdb(), Serial, 4s);
    QSignalSpy failed(&buttons, &PhoneButtons::failed);

    buttons.press(PhoneButton::VolumeUp);
    buttons.press(PhoneButton::VolumeUp);
    buttons.press(PhoneButton::Home);
    QCOMPARE(phone.waiting(), 1);
    QTRY_COMPARE(phone.runs().size(), 3);
    QTRY_COMPARE(phone.waiting(), 0);

    QCOMPARE(phone.invocations(),
             (QList<QStringList>{keyEvent(Serial, 24), keyEvent(Serial, 24), keyEvent(Serial, 3)}));
    QCOMPARE(failed.size(), 0);
}

void TestPhoneButtons::failureLine_data() {
    QTest::addColumn<AdbRun>("run");
    QTest::addColumn<QString>("line");
    using S = AdbRun::Status;
    QTest::newRow("pressed") << ran(S::Finished, 0, {}, {}) << QString();
    QTest::newRow("cancelled") << ran(S::Cancelled, -1, {}, {}, u"adb was cancelled"_s)
                               << QString();
    QTest::newRow("adb's complaint, first line, controls shown")
        << ran(S::Finished, 1, {}, "\n error: closed\x1b[2J\nmore\n")
        << u"Back did not reach the phone: error: closed\u241b[2J."_s;
    QTest::newRow("the shell's complaint on standard output")
        << ran(S::Finished, 127, "/system/bin/sh: input: not found\n", {})
        << u"Back did not reach the phone: /system/bin/sh: input: not found."_s;
    QTest::newRow("no words at all") << ran(S::Finished, 3, {}, {})
                                     << u"Back did not reach the phone: adb ended with status 3."_s;
    QTest::newRow("timed out, the path made visible")
        << ran(S::TimedOut, -1, "half", {},
               u"/tmp/a\u202edb did not finish within 5 seconds\nand was stopped"_s)
        << u"Back did not reach the phone: /tmp/a<U+202E>db did not finish within 5 seconds and "
           "was stopped."_s;
    QTest::newRow("crashed") << ran(S::Crashed, -1, {}, {}, u"adb crashed"_s)
                             << u"Back did not reach the phone: adb crashed."_s;
    QTest::newRow("could not start without a reason")
        << ran(S::FailedToStart, -1, {}, {})
        << u"Back did not reach the phone: adb did not finish."_s;
}

void TestPhoneButtons::failureLine() {
    QFETCH(AdbRun, run);
    QFETCH(QString, line);
    QCOMPARE(pressFailureLine(PhoneButton::Back, run), line);
}

void TestPhoneButtons::goneDeviceSaysAdbsWords() {
    ScriptedPhone phone(QJsonObject{{u"goneFrom"_s, 0}});
    PhoneButtons buttons(phone, chosenAdb(), Serial, 4s);
    QSignalSpy failed(&buttons, &PhoneButtons::failed);

    buttons.press(PhoneButton::Home);
    QTRY_COMPARE(failed.size(), 1);
    QCOMPARE(failed.first().first().toString(),
             u"Home did not reach the phone: error: device 'emulator-5554' not found."_s);
}

// Each press waits its limit at most; the ones behind a hung adb would only
// arrive late, after the user gave up on them.
void TestPhoneButtons::pressPastItsLimitSaysSoAndDropsTheQueue() {
    ScriptedPhone phone;
    phone.hangOn(keyEvent(Serial, 4));
    PhoneButtons buttons(phone, chosenAdb(), Serial, 50ms);
    QSignalSpy failed(&buttons, &PhoneButtons::failed);

    buttons.press(PhoneButton::Back);
    buttons.press(PhoneButton::Home);
    QTRY_COMPARE(failed.size(), 1);
    QVERIFY2(failed.first().first().toString().startsWith(
                 u"Back did not reach the phone: %1 did not finish within"_s.arg(Adb)),
             qPrintable(failed.first().first().toString()));
    QCOMPARE(phone.invocations(), QList<QStringList>{keyEvent(Serial, 4)});

    buttons.press(PhoneButton::Recents);
    QTRY_COMPARE(phone.runs().size(), 2);
    QCOMPARE(phone.runs().last().arguments, keyEvent(Serial, 187));
}

void TestPhoneButtons::nothingRunsWithoutAdbOrWithAnUnnameableSerial_data() {
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("adbFound");
    QTest::addColumn<QString>("because");
    QTest::newRow("no adb") << Serial << false << u"no adb executable was found"_s;
    QTest::newRow("serial with a NUL") << u"emulator-5554\0other"_s << true << u"NUL"_s;
}

void TestPhoneButtons::nothingRunsWithoutAdbOrWithAnUnnameableSerial() {
    QFETCH(QString, serial);
    QFETCH(bool, adbFound);
    QFETCH(QString, because);
    const AdbLookupEnvironment emptyPath(QDir::tempPath() + u"/no-such-folder"_s);
    ScriptedPhone phone;
    PhoneButtons buttons(phone, adbFound ? chosenAdb() : chosenAdb(QString()), serial, 4s);
    QSignalSpy failed(&buttons, &PhoneButtons::failed);

    buttons.press(PhoneButton::Power);
    QCOMPARE(failed.size(), 1);
    const QString line = failed.first().first().toString();
    QVERIFY2(line.startsWith(u"Power did not reach the phone: "_s) && line.contains(because),
             qPrintable(line));
    QVERIFY(phone.runs().isEmpty());
}

void TestPhoneButtons::answerAfterTheButtonsWentIsDropped() {
    ScriptedPhone phone(QJsonObject{{u"goneFrom"_s, 0}});
    auto* buttons = new PhoneButtons(phone, chosenAdb(), Serial, 4s);
    buttons->press(PhoneButton::Back);
    QCOMPARE(phone.waiting(), 1);
    delete buttons;
    QTRY_COMPARE(phone.waiting(), 0);
}

QTEST_GUILESS_MAIN(TestPhoneButtons)
#include "test_phone_buttons.moc"
