// SPDX-License-Identifier: GPL-3.0-or-later
// Where the server's password comes from: the keychain when it keeps one, the
// user otherwise, against a keychain that remembers, forgets, fails or never
// answers.
#include "core/secrets/KeychainRequest.h"
#include "core/secrets/PasswordFlow.h"
#include "support/ScriptedKeychain.h"

#include <QSignalSpy>
#include <QtTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString Serial = u"R58M12345"_s;

struct Question {
    bool afterRefusal;
    bool remember;
    QString note;
    bool operator==(const Question&) const = default;
};

// The flow with the dialog's and the connection's ends recorded.
struct FlowUnderTest {
    explicit FlowUnderTest(ScriptedKeychain& keychain, std::chrono::milliseconds limit = 5s)
        : flow(keychain, Serial, limit) {
        QObject::connect(&flow, &PasswordFlow::provide,
                         [this](const QString& password) { provided.append(password); });
        QObject::connect(&flow, &PasswordFlow::askUser,
                         [this](bool afterRefusal, bool remember, const QString& note) {
                             asked.append(Question{afterRefusal, remember, note});
                         });
        QObject::connect(&flow, &PasswordFlow::keychainTrouble,
                         [this](const QString& line) { trouble.append(line); });
    }
    PasswordFlow flow;
    QStringList provided;
    QList<Question> asked;
    QStringList trouble;
};

} // namespace

Q_DECLARE_METATYPE(ostrel::test::ScriptedKeychain::Mode)

class TestPasswordFlow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rememberedIsUsedWithoutAsking();
    void notRememberedAsks_data();
    void notRememberedAsks();
    void refusedThenRightKeepsOnlyTheRightOne();
    void refusedRememberedIsNotRetried_data();
    void refusedRememberedIsNotRetried();
    void notTickedIsNotKept();
    void failedKeepingIsSaidOnce();
    void lateAnswerIsIgnored_data();
    void lateAnswerIsIgnored();
    void flowGoneBeforeTheKeychainAnswers();
};

void TestPasswordFlow::rememberedIsUsedWithoutAsking() {
    ScriptedKeychain keychain;
    keychain.kept.insert(Serial, u"s3cret"_s);
    keychain.kept.insert(u"other phone"_s, u"not this"_s);
    FlowUnderTest test(keychain);

    test.flow.passwordNeeded();
    QTRY_COMPARE(test.provided, QStringList{u"s3cret"_s});
    test.flow.accepted();
    QTest::qWait(10);

    QVERIFY(test.asked.isEmpty());
    QCOMPARE(keychain.requests, QStringList{u"read "_s + Serial});
}

void TestPasswordFlow::notRememberedAsks_data() {
    QTest::addColumn<ScriptedKeychain::Mode>("mode");
    QTest::addColumn<QString>("note");
    QTest::addColumn<bool>("keptAfterSuccess");
    QTest::newRow("not remembered") << ScriptedKeychain::Mode::Answers << QString() << true;
    QTest::newRow("no keychain") << ScriptedKeychain::Mode::Fails
                                 << u"Not remembered: No keychain service is available."_s << false;
    QTest::newRow("never answers") << ScriptedKeychain::Mode::Silent
                                   << u"Not remembered: the keychain did not answer."_s << false;
}

// The note on the keychain is said once; the user is asked every time.
void TestPasswordFlow::notRememberedAsks() {
    QFETCH(ScriptedKeychain::Mode, mode);
    QFETCH(QString, note);
    QFETCH(bool, keptAfterSuccess);
    ScriptedKeychain keychain(mode);
    FlowUnderTest test(keychain, 50ms);

    test.flow.passwordNeeded();
    QTRY_COMPARE(test.asked.size(), 1);
    QCOMPARE(test.asked.first(), (Question{false, false, note}));
    test.flow.declined();
    test.flow.passwordNeeded();
    QTRY_COMPARE(test.asked.size(), 2);
    QCOMPARE(test.asked.last(), (Question{false, false, QString()}));
    QVERIFY(test.provided.isEmpty());

    test.flow.given(u"typed"_s, true);
    QCOMPARE(test.provided, QStringList{u"typed"_s});
    test.flow.accepted();
    QTRY_VERIFY(keychain.requests.contains(u"write "_s + Serial));
    QTRY_COMPARE(keychain.kept.value(Serial), keptAfterSuccess ? u"typed"_s : QString());
}

void TestPasswordFlow::refusedThenRightKeepsOnlyTheRightOne() {
    ScriptedKeychain keychain;
    FlowUnderTest test(keychain);

    test.flow.passwordNeeded();
    QTRY_COMPARE(test.asked.size(), 1);
    test.flow.given(u"wrong"_s, true);
    test.flow.refused();
    QTest::qWait(10);
    QVERIFY(keychain.kept.isEmpty());

    // The server closes after a refusal; the next connection asks anew.
    test.flow.passwordNeeded();
    QCOMPARE(test.asked.size(), 2);
    QCOMPARE(test.asked.last(), (Question{true, false, QString()}));
    test.flow.given(u"right"_s, true);
    test.flow.accepted();
    QTRY_COMPARE(keychain.kept.value(Serial), u"right"_s);
    QCOMPARE(keychain.requests, (QStringList{u"read "_s + Serial, u"write "_s + Serial}));
    QCOMPARE(test.provided, (QStringList{u"wrong"_s, u"right"_s}));
}

void TestPasswordFlow::refusedRememberedIsNotRetried_data() {
    QTest::addColumn<bool>("tickedAtLast");
    QTest::addColumn<QString>("keptAtEnd");
    QTest::newRow("replaced") << true << u"newer"_s;
    QTest::newRow("forgotten when unticked") << false << QString();
}

// Servers block clients that keep failing: the remembered one goes once,
// and what the keychain keeps changes only after a success.
void TestPasswordFlow::refusedRememberedIsNotRetried() {
    QFETCH(bool, tickedAtLast);
    QFETCH(QString, keptAtEnd);
    ScriptedKeychain keychain;
    keychain.kept.insert(Serial, u"old"_s);
    FlowUnderTest test(keychain);

    test.flow.passwordNeeded();
    QTRY_COMPARE(test.provided, QStringList{u"old"_s});
    test.flow.refused();

    test.flow.passwordNeeded();
    QCOMPARE(test.asked, QList<Question>{(Question{true, true, QString()})});
    test.flow.given(u"new"_s, true);
    test.flow.refused();
    test.flow.passwordNeeded();
    QCOMPARE(test.asked.size(), 2);
    QTest::qWait(10);
    QCOMPARE(keychain.kept.value(Serial), u"old"_s);

    test.flow.given(u"newer"_s, tickedAtLast);
    test.flow.accepted();
    QTRY_COMPARE(keychain.requests.size(), 2);
    QCOMPARE(keychain.requests.first(), u"read "_s + Serial);
    QCOMPARE(keychain.kept.value(Serial), keptAtEnd);
    QCOMPARE(test.provided, (QStringList{u"old"_s, u"new"_s, u"newer"_s}));
}

void TestPasswordFlow::notTickedIsNotKept() {
    ScriptedKeychain keychain;
    FlowUnderTest test(keychain);

    test.flow.passwordNeeded();
    QTRY_COMPARE(test.asked.size(), 1);
    test.flow.given(u"typed"_s, false);
    test.flow.accepted();
    QTest::qWait(10);

    QCOMPARE(keychain.requests, QStringList{u"read "_s + Serial});
    QVERIFY(keychain.kept.isEmpty());
}

void TestPasswordFlow::failedKeepingIsSaidOnce() {
    ScriptedKeychain keychain(ScriptedKeychain::Mode::Silent);
    FlowUnderTest test(keychain, 30ms);

    for (int connection = 0; connection < 2; ++connection) {
        test.flow.given(u"typed"_s, true);
        test.flow.accepted();
        QTest::qWait(80);
    }
    QCOMPARE(test.trouble,
             QStringList{u"The password's keychain entry was not changed: the keychain did not "
                         "answer."_s});
}

void TestPasswordFlow::lateAnswerIsIgnored_data() {
    QTest::addColumn<bool>("withdrawn");
    QTest::addColumn<int>("questions");
    QTest::newRow("after the limit") << false << 1;
    QTest::newRow("after the connection went") << true << 0;
}

void TestPasswordFlow::lateAnswerIsIgnored() {
    QFETCH(bool, withdrawn);
    QFETCH(int, questions);
    ScriptedKeychain keychain(ScriptedKeychain::Mode::Silent);
    FlowUnderTest test(keychain, withdrawn ? 5s : 30ms);

    test.flow.passwordNeeded();
    if (withdrawn)
        test.flow.declined();
    else
        QTRY_COMPARE(test.asked.size(), 1);
    keychain.answerLate();
    QTest::qWait(10);
    QVERIFY(test.provided.isEmpty());
    QCOMPARE(test.asked.size(), questions);
}

// Quit does not wait for the keychain: the window and its flow go, the
// keychain answers into nothing.
void TestPasswordFlow::flowGoneBeforeTheKeychainAnswers() {
    ScriptedKeychain keychain(ScriptedKeychain::Mode::Silent);
    auto test = std::make_unique<FlowUnderTest>(keychain);
    test->flow.passwordNeeded();
    test.reset();
    keychain.answerLate();
    QTest::qWait(10);
}

QTEST_GUILESS_MAIN(TestPasswordFlow)
#include "test_password_flow.moc"
