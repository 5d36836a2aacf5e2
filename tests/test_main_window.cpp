#include "gui/AboutBox.h"
#include "support/ControllerFixture.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

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

    void aboutShowsNameVersionAndAWorkingSiteLink() {
        QAction* about = f->window->ui.actionAbout;
        QCOMPARE(about->menuRole(), QAction::AboutRole);
        QVERIFY(f->window->ui.helpMenu->actions().contains(about));

        // A click on the link, as the user would make it while the box is up.
        f->desktop.answerAlert = [](const Alert& alert) {
            auto* link = qobject_cast<QLabel*>(alert.accessory);
            if (link)
                Q_EMIT link->linkActivated(QStringLiteral("http://127.0.0.1:9"));
            return 1;
        };
        about->trigger();

        QCOMPARE(f->desktop.alerts.size(), 1);
        const FakeDesktop::ShownAlert& shown = f->desktop.alerts.constFirst();
        QCOMPARE(shown.messageText, QStringLiteral("Ostrel Dravik"));
        QVERIFY(shown.informativeText.startsWith(QStringLiteral("Version " OSTREL_VERSION "\n")));
        QCOMPARE(shown.accessoryFormat, Qt::RichText);
        QVERIFY(shown.accessoryText.contains(QStringLiteral("href=\"http://127.0.0.1:9\"")));
        QCOMPARE(f->desktop.openedUrls, (QList<QUrl>{QUrl("http://127.0.0.1:9")}));
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
        QCOMPARE(buttons.size(), 5);
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
        f->controller->session().bridge().forwardEstablished =
            true; // nothing to stop on the way out
        const QSize chosen = f->window->minimumSize() + QSize(37, 23);
        f->window->resize(chosen);
        QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
        if (byQuitItem)
            f->window->ui.actionQuit->trigger();
        else
            f->window->close();
        QCOMPARE(f->desktop.quitCount, 1);
        const QSettings settings(QStringLiteral("Ostrel"), QStringLiteral("Ostrel Dravik"));
        QVERIFY(!settings.value(QStringLiteral("windowGeometry")).toByteArray().isEmpty());

        MainWindow next(*f->controller);
        QCOMPARE(next.size(), chosen);
    }

    void damagedGeometryLeavesTheDefaultSize() {
        QSettings settings(QStringLiteral("Ostrel"), QStringLiteral("Ostrel Dravik"));
        settings.setValue(QStringLiteral("windowGeometry"), QByteArray("\x01\xd9\xd0\xcb garbage"));
        settings.sync();
        MainWindow next(*f->controller);
        QCOMPARE(next.size(), QSize(760, 560));
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
