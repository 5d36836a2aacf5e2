// SPDX-License-Identifier: GPL-3.0-or-later
// What the viewer window does beside the screen, through its real widgets and
// mouse and key events: the phone's buttons as adb key events, the right
// button as Back, a screenshot, cut text both ways and remembered passwords.
#include "gui/viewer/CutText.h"
#include "gui/viewer/PhoneToolbar.h"
#include "gui/viewer/ViewerWindow.h"

#include "support/PhoneButtonRows.h"
#include "support/ScriptedKeychain.h"
#include "support/ScriptedPhone.h"
#include "support/TinyScreenServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int networkWait = 5000;
const QString Serial = u"R58M12345"_s;
const QString Adb = u"/opt/sdk/platform-tools/adb"_s;

QStringList keyEvent(int code) {
    return {u"-s"_s, Serial, u"shell"_s, u"input"_s, u"keyevent"_s, QString::number(code)};
}

// The phone `Serial` attached alone, with `scenario`'s other keys.
QJsonObject attached(QJsonObject scenario) {
    scenario.insert(u"listings"_s,
                    QJsonDocument::fromJson(R"([[["R58M12345", "device"]]])").array());
    return scenario;
}

// A window for the phone `Serial`, its adb scripted, shown and connecting.
struct Viewing {
    explicit Viewing(quint16 port, const QJsonObject& scenario = {},
                     ScriptedKeychain::Mode keychainMode = ScriptedKeychain::Mode::Answers)
        : phone(attached(scenario)), keychain(keychainMode),
          window(u"Test phone"_s, u"127.0.0.1"_s, port),
          shown(&window, &ViewerWindow::screenShown) {
        window.setPhone(Serial, phone, AdbLookup([] { return Adb; }, {}));
        window.setKeychain(keychain);
        window.show();
    }

    template <typename T = QWidget> T* child(const QString& name) {
        return window.findChild<T*>(name);
    }
    QWidget* view() { return child(u"screenView"_s); }
    QString notice() {
        const QLabel* label = child<QLabel>(u"viewerNotice"_s);
        return label != nullptr && label->isVisible() ? label->text() : QString();
    }
    QLineEdit* password() { return child<QLineEdit>(u"viewerPassword"_s); }
    bool passwordAsked() { return password() != nullptr && password()->isVisible(); }
    void click(const QString& name) {
        QWidget* button = child(name);
        QVERIFY2(button != nullptr && button->isVisible(), qPrintable(name));
        QTest::mouseClick(button, Qt::LeftButton);
    }
    bool connect() {
        window.connectToServer();
        return shown.wait(networkWait);
    }

    ScriptedPhone phone;
    ScriptedKeychain keychain;
    ViewerWindow window;
    QSignalSpy shown;
};

} // namespace

class TestViewerControls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void toolbarButtonRunsItsKeyEvent_data();
    void toolbarButtonRunsItsKeyEvent();
    void rightButtonIsBack();
    void failedPressShowsItsLine();
    void screenshotIsTheFrameShown();
    void pasteSendsTheDesktopsText_data();
    void pasteSendsTheDesktopsText();
    void textBeyondLatin1IsNotSentAndSaidOnce();
    void serversCutTextReachesTheClipboard();
    void rememberedPasswordIsUsedWithoutAsking();
    void rememberTickedKeepsThePasswordAfterSuccess();
    void refusedRememberedPasswordIsNotRetried();
    void keychainTroubleIsSaidInTheDialog();
};

void TestViewerControls::toolbarButtonRunsItsKeyEvent_data() {
    addPhoneButtonRows();
}

void TestViewerControls::toolbarButtonRunsItsKeyEvent() {
    QFETCH(PhoneButton, button);
    QFETCH(int, code);
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    Viewing viewing(server.port());
    QVERIFY(viewing.connect());

    viewing.click(PhoneToolbar::objectNameFor(button));
    QTRY_COMPARE(viewing.phone.invocations(), QList<QStringList>{keyEvent(code)});
    QCOMPARE(viewing.phone.runs().first().program, Adb);
    QTest::qWait(20);
    QCOMPARE(viewing.notice(), QString());
}

// The right button never reaches the phone's server as a pointer button.
void TestViewerControls::rightButtonIsBack() {
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    Viewing viewing(server.port());
    QVERIFY(viewing.connect());

    QTest::mouseClick(viewing.view(), Qt::RightButton, {}, viewing.view()->rect().center());
    QTRY_COMPARE(viewing.phone.invocations(), QList<QStringList>{keyEvent(4)});
    // A touch after it: once it has arrived, anything the right click sent has too.
    QTest::mouseClick(viewing.view(), Qt::LeftButton, {}, viewing.view()->rect().center());
    QTRY_VERIFY_WITH_TIMEOUT(
        !server.pointerEvents.isEmpty() && server.pointerEvents.last().mask == 0, networkWait);
    for (const PointerEvent& event : std::as_const(server.pointerEvents))
        QCOMPARE(event.mask & 4, 0);
}

void TestViewerControls::failedPressShowsItsLine() {
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    Viewing viewing(server.port(), QJsonObject{{u"goneFrom"_s, 0}});
    QVERIFY(viewing.connect());

    viewing.click(u"phoneHomeButton"_s);
    QTRY_COMPARE(viewing.notice(),
                 u"Home did not reach the phone: error: device 'R58M12345' not found."_s);
    QVERIFY(viewing.window.isShowingScreen());
}

void TestViewerControls::screenshotIsTheFrameShown() {
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QVERIFY(QDir(home.path()).mkdir(u"Pictures"_s));
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qunsetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        if (!oldConfig.isNull())
            qputenv("XDG_CONFIG_HOME", oldConfig);
    });
    const QImage picture = testPicture(QSize(40, 80), 3);
    TinyScreenServer server(picture);
    Viewing viewing(server.port());
    QVERIFY(viewing.connect());

    viewing.click(u"screenshotButton"_s);
    const QDir pictures(home.filePath(u"Pictures"_s));
    QTRY_COMPARE(pictures.entryList(QDir::Files).size(), 1);
    const QString file = pictures.entryList(QDir::Files).first();
    QVERIFY2(file.startsWith(u"Test phone 2"_s) && file.endsWith(u".png"_s), qPrintable(file));
    QCOMPARE(viewing.notice(),
             u"Screenshot saved as "_s + QDir::toNativeSeparators(pictures.filePath(file)));
    QCOMPARE(QImage(pictures.filePath(file)).convertToFormat(QImage::Format_RGB32),
             picture.convertToFormat(QImage::Format_RGB32));
}

void TestViewerControls::pasteSendsTheDesktopsText_data() {
    QTest::addColumn<bool>("byShortcut");
    QTest::newRow("toolbar") << false;
    QTest::newRow("the platform's paste shortcut") << true;
}

void TestViewerControls::pasteSendsTheDesktopsText() {
    QFETCH(bool, byShortcut);
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    Viewing viewing(server.port());
    QVERIFY(viewing.connect());
    QGuiApplication::clipboard()->setText(u"caf\u00e9\r\nau lait"_s);

    if (byShortcut) {
        const QKeyCombination paste = QKeySequence(QKeySequence::Paste)[0];
        QTest::keyClick(viewing.view(), paste.key(), paste.keyboardModifiers());
    } else {
        viewing.click(u"pasteButton"_s);
    }
    QTRY_COMPARE_WITH_TIMEOUT(server.cutTexts, QList<QByteArray>{"caf\xe9\nau lait"}, networkWait);
    QVERIFY2(server.keyEvents.isEmpty(), "the shortcut was typed on the phone as well");
}

// Part of a text would be worse than none; saying so at every paste would
// only nag.
void TestViewerControls::textBeyondLatin1IsNotSentAndSaidOnce() {
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    Viewing viewing(server.port(), QJsonObject{{u"goneFrom"_s, 0}});
    QVERIFY(viewing.connect());
    QGuiApplication::clipboard()->setText(u"5 \u20ac"_s);

    viewing.click(u"pasteButton"_s);
    QCOMPARE(viewing.notice(), notLatin1Line());
    viewing.click(u"phoneHomeButton"_s);
    QTRY_VERIFY(viewing.notice().startsWith(u"Home did not reach the phone"_s));
    viewing.click(u"pasteButton"_s);
    QVERIFY(viewing.notice().startsWith(u"Home did not reach the phone"_s));

    QGuiApplication::clipboard()->setText(u"plain"_s);
    viewing.click(u"pasteButton"_s);
    QTRY_COMPARE_WITH_TIMEOUT(server.cutTexts, QList<QByteArray>{"plain"}, networkWait);
}

void TestViewerControls::serversCutTextReachesTheClipboard() {
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    Viewing viewing(server.port());
    QVERIFY(viewing.connect());
    QGuiApplication::clipboard()->clear();

    server.sendCutText("na\xefve");
    QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), u"na\u00efve"_s, networkWait);
}

void TestViewerControls::rememberedPasswordIsUsedWithoutAsking() {
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    server.askPassword(true);
    Viewing viewing(server.port());
    viewing.keychain.kept.insert(Serial, u"remembered"_s);
    bool asked = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] { asked = asked || viewing.passwordAsked(); });
    watch.start(1);

    QVERIFY(viewing.connect());
    QVERIFY(!asked);
    QCOMPARE(server.passwordResponses.size(), 1);
}

void TestViewerControls::rememberTickedKeepsThePasswordAfterSuccess() {
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    server.askPassword(true);
    Viewing viewing(server.port());
    viewing.window.connectToServer();

    QTRY_VERIFY_WITH_TIMEOUT(viewing.passwordAsked(), networkWait);
    auto* remember = viewing.child<QCheckBox>(u"rememberPassword"_s);
    QVERIFY(remember != nullptr && remember->isVisible());
    QCOMPARE(remember->text(), u"Remember for this phone"_s);
    QVERIFY(!remember->isChecked());
    QTest::mouseClick(remember, Qt::LeftButton, {}, QPoint(4, remember->height() / 2));
    QVERIFY(remember->isChecked());
    QTest::keyClicks(viewing.password(), u"typed"_s);
    QTest::keyClick(viewing.password(), Qt::Key_Return);

    QVERIFY(viewing.shown.wait(networkWait));
    QTRY_COMPARE(viewing.keychain.kept.value(Serial), u"typed"_s);
}

// Servers block clients that keep failing: the remembered password is tried
// once, and replaced only by one the server took.
void TestViewerControls::refusedRememberedPasswordIsNotRetried() {
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    server.askPassword(QList<bool>{false, true});
    Viewing viewing(server.port());
    viewing.keychain.kept.insert(Serial, u"old"_s);
    viewing.window.connectToServer();

    QTRY_VERIFY_WITH_TIMEOUT(viewing.passwordAsked(), networkWait);
    QCOMPARE(server.passwordResponses.size(), 1);
    QCOMPARE(viewing.keychain.kept.value(Serial), u"old"_s);
    auto* remember = viewing.child<QCheckBox>(u"rememberPassword"_s);
    QVERIFY(remember != nullptr && remember->isChecked());
    QTest::keyClicks(viewing.password(), u"new"_s);
    QTest::keyClick(viewing.password(), Qt::Key_Return);

    QVERIFY(viewing.shown.wait(networkWait));
    QTRY_COMPARE(viewing.keychain.kept.value(Serial), u"new"_s);
    QCOMPARE(server.passwordResponses.size(), 2);
}

void TestViewerControls::keychainTroubleIsSaidInTheDialog() {
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    server.askPassword(true);
    Viewing viewing(server.port(), {}, ScriptedKeychain::Mode::Fails);
    viewing.window.connectToServer();

    QTRY_VERIFY_WITH_TIMEOUT(viewing.passwordAsked(), networkWait);
    const auto* note = viewing.child<QLabel>(u"passwordNote"_s);
    QVERIFY(note != nullptr && note->isVisible());
    QCOMPARE(note->text(), u"Not remembered: No keychain service is available."_s);
    QCOMPARE(note->textFormat(), Qt::PlainText);
    QTest::keyClicks(viewing.password(), u"typed"_s);
    QTest::keyClick(viewing.password(), Qt::Key_Return);
    QVERIFY(viewing.shown.wait(networkWait));
}

QTEST_MAIN(TestViewerControls)
#include "test_viewer_controls.moc"
