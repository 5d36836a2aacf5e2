// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/AdbVersion.h"
#include "gui/AboutBox.h"
#include "support/ControllerFixture.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QTextBrowser>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QByteArray AdbVersionOutput = "Android Debug Bridge version 1.0.41\nVersion 34.0.5\n";
const QString AdbVersionLine = QStringLiteral("Android Debug Bridge version 1.0.41");

QLabel* aboutLabel(const Alert& alert, const char* name) {
    return alert.accessory ? alert.accessory->findChild<QLabel*>(QLatin1String(name)) : nullptr;
}

QString hrefOf(const QString& labelHtml) {
    return QRegularExpression(QStringLiteral("href=\"([^\"]*)\"")).match(labelHtml).captured(1);
}

void hoverForToolTip(QWidget* widget) {
    QHelpEvent event(QEvent::ToolTip, QPoint(2, 2), widget->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(widget, &event);
}

// Where a user's click on an address can come from.
enum class LinkPlace { HelpButton, ConsoleLink, StoreLink, AboutLink };

} // namespace

Q_DECLARE_METATYPE(LinkPlace)

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ControllerFixture> f;
    std::unique_ptr<StandInAdb> adb;

private Q_SLOTS:
    void initTestCase() { QCoreApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION)); }
    void init() {
        f = std::make_unique<ControllerFixture>();
        adb = std::make_unique<StandInAdb>(f->directory.filePath("adb-bin"));
        f->chooseAdb(adb->path());
    }
    void cleanup() {
        adb.reset();
        f.reset();
    }

    void aboutShowsNameVersionLicenceAndAWorkingSiteLink() {
        QAction* about = f->window->ui.actionAbout;
        QCOMPARE(about->menuRole(), QAction::AboutRole);
        QVERIFY(f->window->ui.helpMenu->actions().contains(about));

        // A click on the link, as the user would make it while the box is up.
        QString href;
        Qt::TextFormat linkFormat = Qt::AutoText;
        f->desktop.answerAlert = [&](const Alert& alert) {
            if (QLabel* link = aboutLabel(alert, "siteLink")) {
                href = hrefOf(link->text());
                linkFormat = link->textFormat();
                Q_EMIT link->linkActivated(href);
            }
            return 1;
        };
        about->trigger();

        QCOMPARE(f->desktop.alerts.size(), 1);
        const FakeDesktop::ShownAlert& shown = f->desktop.alerts.constFirst();
        QCOMPARE(shown.messageText, QStringLiteral("Ostrel Dravik"));
        QVERIFY(shown.informativeText.startsWith(
            QStringLiteral("Version " OSTREL_VERSION "\nLicence: GPL-3.0-or-later\n")));
        QCOMPARE(linkFormat, Qt::RichText);
        QCOMPARE(href, QStringLiteral("http://127.0.0.1:9"));
        QCOMPARE(f->desktop.openedUrls, (QList<QUrl>{QUrl("http://127.0.0.1:9")}));
    }

    // The version arrives while the box is up and fills its label in place.
    void aboutNamesTheAdbInEffectAndItsVersion() {
        adb->setStandardOutput(AdbVersionOutput);
        QString shownAtOnce;
        QString shownLater;
        Qt::TextFormat format = Qt::AutoText;
        f->desktop.answerAlert = [&](const Alert& alert) {
            QLabel* label = aboutLabel(alert, "adbInEffect");
            if (!label)
                return 0;
            shownAtOnce = label->text();
            format = label->textFormat();
            if (!QTest::qWaitFor([label] { return label->text().contains(AdbVersionLine); }))
                return 0;
            shownLater = label->text();
            return 1;
        };

        f->window->ui.actionAbout->trigger();

        QCOMPARE(format, Qt::PlainText);
        QVERIFY2(shownAtOnce.startsWith(adbInEffectText(adb->path(), QString()) + u'\n'),
                 qPrintable(shownAtOnce));
        QCOMPARE(shownLater, adbInEffectText(adb->path(), QString()) + u'\n' + AdbVersionLine);
        QCOMPARE(adb->invocations(), QList<QStringList>{{QStringLiteral("version")}});
    }

    void adbToolTipNamesTheAdbAndAsksItsVersionOnce() {
        adb->setStandardOutput(AdbVersionOutput);
        QPushButton* button = f->window->ui.adbButton;
        QVERIFY(adb->invocations().isEmpty()); // nothing is asked at start-up

        hoverForToolTip(button);
        QTRY_VERIFY(button->toolTip().contains(AdbVersionLine));
        QVERIFY(button->toolTip().contains(adb->path()));
        hoverForToolTip(button);

        QVERIFY2(button->toolTip().contains(AdbVersionLine), qPrintable(button->toolTip()));
        QCOMPARE(adb->invocations(), QList<QStringList>{{QStringLiteral("version")}});
    }

    void adbIsNotAskedWhileAFlowRuns() {
        adb->setStandardOutput(AdbVersionOutput);
        adb->setSleepSeconds(5);
        QTest::mouseClick(f->window->ui.startButton, Qt::LeftButton);
        QTRY_VERIFY(f->flowRunning());

        hoverForToolTip(f->window->ui.adbButton);

        const QString tip = f->window->ui.adbButton->toolTip();
        QVERIFY2(tip.contains(QStringLiteral("Version not asked while adb is busy.")),
                 qPrintable(tip));
        QVERIFY(tip.contains(adb->path()));
        QCOMPARE(adb->invocations().count(QStringList{QStringLiteral("version")}), 0);
    }

    void anAddressNoApplicationOpensIsReported_data() {
        QTest::addColumn<LinkPlace>("place");
        QTest::addColumn<QUrl>("address");
        QTest::newRow("help button") << LinkPlace::HelpButton << QUrl("http://127.0.0.1:9/zelq/");
        QTest::newRow("console link") << LinkPlace::ConsoleLink << QUrl("https://c.example/a b");
        QTest::newRow("store link") << LinkPlace::StoreLink << QUrl();
        QTest::newRow("About link") << LinkPlace::AboutLink << QUrl("http://127.0.0.1:9");
    }

    void anAddressNoApplicationOpensIsReported() {
        QFETCH(LinkPlace, place);
        QFETCH(QUrl, address);
        f->desktop.openFails = true;
        QLabel* store = f->window->ui.getTheApp;
        if (place == LinkPlace::StoreLink)
            address = QUrl(hrefOf(store->text()));
        f->desktop.answerAlert = [](const Alert& alert) {
            if (QLabel* link = aboutLabel(alert, "siteLink"))
                Q_EMIT link->linkActivated(hrefOf(link->text()));
            return 1;
        };

        switch (place) {
        case LinkPlace::HelpButton:
            QTest::mouseClick(f->window->ui.helpButton, Qt::LeftButton);
            break;
        case LinkPlace::ConsoleLink:
            Q_EMIT f->window->ui.textView->anchorClicked(address);
            break;
        case LinkPlace::StoreLink:
            Q_EMIT store->linkActivated(address.toString());
            break;
        case LinkPlace::AboutLink:
            f->window->ui.actionAbout->trigger();
            break;
        }

        QCOMPARE(f->desktop.openedUrls, QList<QUrl>{address});
        QVERIFY(!f->desktop.alerts.isEmpty());
        const FakeDesktop::ShownAlert& shown = f->desktop.alerts.constLast();
        QCOMPARE(shown.messageText, QStringLiteral("The address could not be opened."));
        QCOMPARE(shown.informativeText,
                 QStringLiteral("No application could open %1").arg(address.toDisplayString()));
    }

    void aboutLinkCannotCarryMarkup() {
        const AboutText text =
            aboutText(QStringLiteral("1.0.0"), QUrl(QStringLiteral("http://h/a\"><b>x</b>&y")));
        QVERIFY(!text.linkHtml.contains(QStringLiteral("<b>")));
        QCOMPARE(text.linkHtml.count(QLatin1Char('"')), 2); // only the attribute's own quotes
        QVERIFY(text.linkHtml.startsWith(QStringLiteral("<a href=\"http://h/a%22")));
    }

    void everyButtonSaysWhatItDoes() {
        const QList<QPushButton*> buttons = f->window->findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 7);
        for (QPushButton* button : buttons) {
            QVERIFY2(!button->toolTip().isEmpty(), qPrintable(button->text()));
            QVERIFY2(button->toolTip() != button->text(), qPrintable(button->text()));
        }
    }

    void windowCarriesTheProgramIcon() {
        const QIcon icon = f->window->windowIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        QVERIFY(icon.availableSizes().contains(QSize(256, 256)));
    }

    void geometryIsRememberedForTheNextRun_data() {
        QTest::addColumn<bool>("byQuitItem");
        QTest::newRow("window closed") << false;
        QTest::newRow("quit item") << true;
    }

    void geometryIsRememberedForTheNextRun() {
        QFETCH(bool, byQuitItem);
        // nothing to stop on the way out
        f->forwardsHeld = [] { return QByteArray("R58M tcp:5902 tcp:5902\n"); };
        const QSize chosen = f->window->minimumSize() + QSize(37, 23);
        f->window->resize(chosen);
        QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
        if (byQuitItem)
            f->window->ui.actionQuit->trigger();
        else
            f->window->close();
        QTRY_COMPARE(f->desktop.quitCount, 1);
        const QSettings settings(f->settings.fileName(), QSettings::IniFormat);
        QVERIFY(!settings.value(QStringLiteral("windowGeometry")).toByteArray().isEmpty());

        MainWindow next(*f->controller);
        QCOMPARE(next.size(), chosen);
    }

    // The key as an earlier run wrote it, straight into the file: its place is
    // taken up, and a damaged one leaves the default size.
    void geometryInTheFileIsRead_data() {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("an earlier run's") << false;
        QTest::newRow("damaged") << true;
    }
    void geometryInTheFileIsRead() {
        QFETCH(bool, damaged);
        const QSize earlier = f->window->minimumSize() + QSize(41, 19);
        f->window->resize(earlier);
        const QByteArray written =
            damaged ? QByteArray("\x01\xd9\xd0\xcb garbage") : f->window->saveGeometry();
        QSettings settings(f->settings.fileName(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("windowGeometry"), written);
        settings.sync();
        MainWindow next(*f->controller);
        QCOMPARE(next.size(), damaged ? QSize(760, 560) : earlier);
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
