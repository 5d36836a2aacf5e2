// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's keychain for real: a Secret Service keyring of the test's own
// (run-with-keyring.sh), written, read, forgotten, and a remembered password
// used without asking.
#include "core/secrets/KeychainRequest.h"
#include "core/secrets/PasswordFlow.h"
#include "gui/secrets/DesktopKeychain.h"

#include <QDeadlineTimer>
#include <QtTest>

#include <optional>

using namespace ostrel;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

// A keyring under load may take its time; none of this waits that long when it works.
constexpr std::chrono::milliseconds Limit = 20s;
const QString Service = u"Ostrel Dravik test"_s;
const QString Serial = u"R58M12345"_s;

std::optional<KeychainAnswer> waitFor(KeychainRequest* request) {
    std::optional<KeychainAnswer> answer;
    QObject::connect(request, &KeychainRequest::answered,
                     [&answer](const KeychainAnswer& given) { answer = given; });
    if (!QTest::qWaitFor([&answer] { return answer.has_value(); }, 30000))
        return std::nullopt;
    return answer;
}

// The flow does not wait for its write; the next one reads after it has landed.
bool keptUnder(Keychain& keychain, const QString& key) {
    const QDeadlineTimer deadline(30s);
    QObject owner;
    while (!deadline.hasExpired()) {
        const std::optional<KeychainAnswer> answer =
            waitFor(KeychainRequest::read(keychain, key, Limit, &owner));
        if (answer && answer->outcome == KeychainAnswer::Outcome::Done)
            return true;
        QTest::qWait(20);
    }
    return false;
}

} // namespace

class TestDesktopKeychain : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void keptReadAndForgotten();
    void rememberedPasswordIsUsedWithoutAsking();
};

void TestDesktopKeychain::initTestCase() {
    const QString missing = qEnvironmentVariable("OSTREL_KEYRING_MISSING");
    if (!missing.isEmpty())
        QSKIP(qPrintable(u"no keyring of the test's own: "_s + missing));
    if (qEnvironmentVariable("OSTREL_KEYRING_READY") != u"1"_s)
        QSKIP("run through run-with-keyring.sh: the user's own keyring is never touched");
}

void TestDesktopKeychain::keptReadAndForgotten() {
    DesktopKeychain keychain(Service);
    QObject owner;
    using O = KeychainAnswer::Outcome;

    std::optional<KeychainAnswer> answer =
        waitFor(KeychainRequest::read(keychain, Serial, Limit, &owner));
    QVERIFY(answer);
    QCOMPARE(answer->outcome, O::NotFound);

    answer = waitFor(KeychainRequest::write(keychain, Serial, u"pässword"_s, Limit, &owner));
    QVERIFY(answer);
    QCOMPARE(answer->outcome, O::Done);
    answer = waitFor(KeychainRequest::read(keychain, Serial, Limit, &owner));
    QVERIFY(answer);
    QCOMPARE(answer->outcome, O::Done);
    QCOMPARE(answer->secret, u"pässword"_s);
    answer = waitFor(KeychainRequest::read(keychain, u"another phone"_s, Limit, &owner));
    QVERIFY(answer);
    QCOMPARE(answer->outcome, O::NotFound);

    answer = waitFor(KeychainRequest::remove(keychain, Serial, Limit, &owner));
    QVERIFY(answer);
    QCOMPARE(answer->outcome, O::Done);
    answer = waitFor(KeychainRequest::read(keychain, Serial, Limit, &owner));
    QVERIFY(answer);
    QCOMPARE(answer->outcome, O::NotFound);
}

void TestDesktopKeychain::rememberedPasswordIsUsedWithoutAsking() {
    DesktopKeychain keychain(Service);
    {
        PasswordFlow first(keychain, Serial, Limit);
        int asked = 0;
        connect(&first, &PasswordFlow::askUser, this, [&asked] { ++asked; });
        first.passwordNeeded();
        QTRY_COMPARE_WITH_TIMEOUT(asked, 1, 30000);
        first.given(u"typed once"_s, true);
        first.accepted();
        QVERIFY(keptUnder(keychain, Serial));
    }
    PasswordFlow next(keychain, Serial, Limit);
    QStringList provided;
    bool asked = false;
    connect(&next, &PasswordFlow::provide, this,
            [&provided](const QString& password) { provided.append(password); });
    connect(&next, &PasswordFlow::askUser, this, [&asked] { asked = true; });
    next.passwordNeeded();
    QTRY_COMPARE_WITH_TIMEOUT(provided, QStringList{u"typed once"_s}, 30000);
    QVERIFY(!asked);
}

QTEST_GUILESS_MAIN(TestDesktopKeychain)
#include "test_desktop_keychain.moc"
