// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer window against Xvnc with a password file and the desktop's
// keychain for real (a keyring of the test's own, run-with-keyring.sh): the
// dialog, a wrong password asked again, the right one remembered, and the
// next window let in without a question.
#include "core/secrets/KeychainRequest.h"
#include "gui/secrets/DesktopKeychain.h"
#include "gui/viewer/ViewerWindow.h"
#include "support/ScriptedPhone.h"
#include "xvnc/XvncServer.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr int networkWait = 10000;
const QString Service = u"Ostrel Dravik test"_s;
const QString Serial = u"R58M12345"_s;
const QString Password = u"right one"_s;

// A window on the server for the phone `Serial`, remembering in `keychain`.
struct Viewing {
    Viewing(quint16 port, Keychain& keychain)
        : window(u"Test phone"_s, u"127.0.0.1"_s, port),
          shown(&window, &ViewerWindow::screenShown) {
        window.setPhone(Serial, phone, AdbLookup([] { return u"adb"_s; }, {}));
        window.setKeychain(keychain);
        window.show();
        window.connectToServer();
    }
    QLineEdit* password() { return window.findChild<QLineEdit*>(u"viewerPassword"_s); }
    bool passwordAsked() { return password() != nullptr && password()->isVisible(); }
    void type(const QString& text) {
        password()->clear();
        QTest::keyClicks(password(), text);
        QTest::keyClick(password(), Qt::Key_Return);
    }

    ScriptedPhone phone{QJsonObject{}};
    ViewerWindow window;
    QSignalSpy shown;
};

// The window does not wait for its write; the next read comes after it landed.
bool keptUnder(Keychain& keychain, const QString& key) {
    const QDeadlineTimer deadline(30s);
    QObject owner;
    while (!deadline.hasExpired()) {
        std::optional<KeychainAnswer> answer;
        KeychainRequest* request = KeychainRequest::read(keychain, key, 20s, &owner);
        QObject::connect(request, &KeychainRequest::answered,
                         [&answer](const KeychainAnswer& given) { answer = given; });
        if (QTest::qWaitFor([&answer] { return answer.has_value(); }, 30000) &&
            answer->outcome == KeychainAnswer::Outcome::Done)
            return true;
        QTest::qWait(50);
    }
    return false;
}

} // namespace

class TestXvncRememberedPassword : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        const QString missing = qEnvironmentVariable("OSTREL_KEYRING_MISSING");
        if (!missing.isEmpty())
            QSKIP(qPrintable(u"no keyring of the test's own: "_s + missing));
        if (qEnvironmentVariable("OSTREL_KEYRING_READY") != u"1"_s)
            QSKIP("run through run-with-keyring.sh: the user's own keyring is never touched");
#ifdef Q_OS_MACOS
        if (!XvncServer::installed())
            QSKIP("Xvnc is not available on macOS");
#endif
    }

    void wrongAskedAgainThenRightRememberedAndUsed() {
        XvncServer server;
        XvncServer::Options options;
        options.password = Password;
        const QString why = server.start(options);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        DesktopKeychain keychain(Service);
        {
            Viewing first(server.port(), keychain);
            QTRY_VERIFY_WITH_TIMEOUT(first.passwordAsked(), networkWait);
            first.type(u"wrong"_s);
            QTRY_VERIFY_WITH_TIMEOUT(first.passwordAsked(), networkWait);
            QCOMPARE(first.shown.count(), 0);
            auto* remember = first.window.findChild<QCheckBox*>(u"rememberPassword"_s);
            QVERIFY(remember != nullptr && remember->isVisible());
            if (!remember->isChecked())
                QTest::mouseClick(remember, Qt::LeftButton, {}, QPoint(4, remember->height() / 2));
            QVERIFY(remember->isChecked());
            first.type(Password);
            QVERIFY2(first.shown.wait(networkWait), qPrintable(server.diagnostics()));
            first.window.close();
        }
        QVERIFY(keptUnder(keychain, Serial));

        Viewing next(server.port(), keychain);
        QVERIFY2(next.shown.wait(networkWait), qPrintable(server.diagnostics()));
        QVERIFY(!next.passwordAsked());
    }
};

QTEST_MAIN(TestXvncRememberedPassword)
#include "test_xvnc_remembered_password.moc"
