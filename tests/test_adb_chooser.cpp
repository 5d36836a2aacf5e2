// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/AdbLookupEnvironment.h"
#include "support/ControllerFixture.h"

#ifndef Q_MOC_RUN // moc cannot read the standard coroutine headers
#include <QCoro/QCoroTask>
#endif
#include <QDir>
#include <QDirIterator>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace Qt::Literals::StringLiterals;

namespace {

QStringList* capturedLog = nullptr;

void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    capturedLog->append(message);
}

// Collects what the program logs while it lives.
class LogCapture {
public:
    LogCapture() {
        capturedLog = &lines;
        previous_ = qInstallMessageHandler(captureMessage);
    }
    ~LogCapture() {
        qInstallMessageHandler(previous_);
        capturedLog = nullptr;
    }
    QStringList lines;

private:
    QtMessageHandler previous_;
};

QVariant storedAdb(const ControllerFixture& f) {
    return QSettings(f.settings.fileName(), QSettings::IniFormat).value(QStringLiteral("adb"));
}

// The settings as written to disk, where a restarted program reads them.
QByteArray settingsOnDisk(const QString& settingsDirectory) {
    QDirIterator files(settingsDirectory, QDir::Files, QDirIterator::Subdirectories);
    QByteArray contents;
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly))
            contents += file.readAll();
    }
    return contents;
}

// Start's flow, whose first command is adb's device listing; a stand-in
// lists no phone, so that is all it runs.
void clickStart(ControllerFixture& f) {
    QTest::mouseClick(f.window->ui.startButton, Qt::LeftButton);
    QTRY_VERIFY(!f.flowRunning());
}

} // namespace

class AdbChooserTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cancelChangesNothing_data() {
        QTest::addColumn<bool>("choiceBefore");
        QTest::newRow("nothing chosen before") << false;
        QTest::newRow("a choice stored before") << true;
    }

    void cancelChangesNothing() {
        QFETCH(bool, choiceBefore);
        ControllerFixture f;
        if (choiceBefore)
            f.chooseAdb(QStringLiteral("/opt/sdk/platform-tools/adb"));
        const QVariant before = storedAdb(f);
        const QString console = f.consoleText();
        LogCapture log;

        QTest::mouseClick(f.window->ui.adbButton, Qt::LeftButton);

        QCOMPARE(f.desktop.fileChoices.size(), 1);
        QCOMPARE(f.desktop.fileChoices[0].title, QStringLiteral("Choose adb"));
        QCOMPARE(f.desktop.fileChoices[0].acceptLabel, QStringLiteral("Select adb"));
        QCOMPARE(storedAdb(f), before);
        QCOMPARE(log.lines, QStringList());
        QCOMPARE(f.consoleText(), console);
    }

    void confirmedChoiceIsStoredAndRunsNext() {
        ControllerFixture f;
        StandInAdb chosen(f.directory.filePath(QStringLiteral("chosen")));
        f.desktop.fileToChoose = chosen.path();
        const QString console = f.consoleText();
        LogCapture log;

        QTest::mouseClick(f.window->ui.adbButton, Qt::LeftButton);

        QCOMPARE(log.lines, QStringList{"select file: " + chosen.path()});
        QCOMPARE(storedAdb(f).toString(), chosen.path());
        QVERIFY(settingsOnDisk(f.directory.filePath(QStringLiteral("settings")))
                    .contains(chosen.path().toUtf8()));
        QCOMPARE(f.consoleText(), console);
        clickStart(f);
        QCOMPARE(chosen.invocations(), QList<QStringList>{{"devices"}});
    }

    // Where the settings file should be there is a folder: no writer, root
    // included, can replace it.
    void unsavedChoiceIsReportedAndStillRuns() {
        ControllerFixture f;
        const QString settingsFile = f.settings.fileName();
        QVERIFY(QDir().mkpath(settingsFile));
        StandInAdb chosen(f.directory.filePath(QStringLiteral("chosen")));
        f.desktop.fileToChoose = chosen.path();

        QTest::mouseClick(f.window->ui.adbButton, Qt::LeftButton);

        QCOMPARE(f.desktop.alerts.size(), 1);
        QCOMPARE(f.desktop.alerts[0].messageText,
                 QStringLiteral("The chosen adb could not be saved."));
        QCOMPARE(f.desktop.alerts[0].informativeText, settingsFile + u" could not be written"_s);
        clickStart(f);
        QCOMPARE(chosen.invocations(), QList<QStringList>{{"devices"}});
        QTest::mouseClick(f.window->ui.adbButton, Qt::LeftButton);
        QCOMPARE(f.desktop.fileChoices.last().startDirectory,
                 QFileInfo(chosen.path()).absolutePath());
    }

    void choiceSurvivesANewController() {
        ControllerFixture first;
        StandInAdb chosen(first.directory.filePath(QStringLiteral("chosen")));
        first.desktop.fileToChoose = chosen.path();
        QTest::mouseClick(first.window->ui.adbButton, Qt::LeftButton);

        ControllerFixture second(fastWaits(), QUrl(QStringLiteral("http://127.0.0.1:9")), true,
                                 nullptr, std::nullopt, true, nullptr, first.settings.fileName());

        QCOMPARE(second.controller->adbChooser().adbInEffect(), chosen.path());
        clickStart(second);
        QCOMPARE(chosen.invocations(), QList<QStringList>{{"devices"}});
    }

    void startsInTheFolderOfTheAdbInEffect_data() {
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<bool>("onPath");
        QTest::newRow("chosen adb") << true << false;
        QTest::newRow("adb found on PATH") << false << true;
        QTest::newRow("no adb anywhere") << false << false;
    }

    void startsInTheFolderOfTheAdbInEffect() {
        QFETCH(bool, chosen);
        QFETCH(bool, onPath);
        ControllerFixture f;
        StandInAdb adb(f.directory.filePath(QStringLiteral("tools")));
        const QString emptyDirectory = f.directory.filePath(QStringLiteral("empty"));
        QDir().mkpath(emptyDirectory);
        AdbLookupEnvironment environment(onPath ? QFileInfo(adb.path()).absolutePath()
                                                : emptyDirectory);
        if (chosen)
            f.chooseAdb(adb.path());

        QTest::mouseClick(f.window->ui.adbButton, Qt::LeftButton);

        QCOMPARE(f.desktop.fileChoices.size(), 1);
        const QString expected =
            chosen || onPath ? QFileInfo(adb.path()).absolutePath() : QString();
        QCOMPARE(f.desktop.fileChoices[0].startDirectory, expected);
    }

    // Started where PATH's "." and a relative ANDROID_HOME both hold an adb,
    // the window runs neither and says once, as it opens, what it left out.
    void relativeSearchFoldersAreLeftOutWithOneLine() {
        const QTemporaryDir startedIn;
        const StandInAdb here(startedIn.path());
        const StandInAdb inSdk(startedIn.filePath(u"sdk/platform-tools"_s));
        AdbLookupEnvironment environment(u"."_s);
        qputenv("ANDROID_HOME", "sdk");
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(startedIn.path()));
        auto f = std::make_unique<ControllerFixture>();
        clickStart(*f);
        QVERIFY(QDir::setCurrent(before));

        QCOMPARE(here.invocations(), QList<QStringList>{});
        QCOMPARE(inSdk.invocations(), QList<QStringList>{});
        const QString note = u"Note: adb is looked for only in folders named in full; left out: "
                             u"\"sdk\" in ANDROID_HOME, \".\" in PATH.\n"_s;
        QCOMPARE(f->consoleText().count(note), 1);
        QVERIFY(f->consoleText().contains(u"Error: adb was not found"_s));
    }
};

QTEST_MAIN(AdbChooserTest)
#include "test_adb_chooser.moc"
