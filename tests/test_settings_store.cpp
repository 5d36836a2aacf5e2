// SPDX-License-Identifier: GPL-3.0-or-later
// The settings on disk: a file written by an earlier run reads the same, a
// hand-edited value that is no port counts as none, and a file that cannot be
// written says so for every setting.
#include "core/settings/QSettingsStore.h"
#include "core/settings/ViewPlace.h"
#include "support/TestPorts.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// As the program has always written it on Linux, with two phones' ports (the
// group is the SHA-1 of the serial) and the window's place.
const QByteArray EarlierFile =
    "[General]\n"
    "adb=/opt/sdk/platform-tools/adb\n"
    "viewer=/usr/bin/remmina\n"
    "windowGeometry=@ByteArray(\\x1\\xd9\\xd0\\xcb\\0\\x3\\0\\0\\0\\x2)\n"
    "\n"
    "[phones]\n"
    "e8a011f44cb09a68dfcf258505cf7a9adb7a6e57\\vncPort=5902\n"
    "f9d3211a9148dbc38493f2c90508fc3ea4c58d64\\vncPort=5905\n";

} // namespace

Q_DECLARE_METATYPE(ostrel::ViewPlace)

class SettingsStoreTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

    QString fileWith(const QByteArray& contents) {
        const QString path = folder_.filePath(QStringLiteral("earlier.conf"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(contents) != contents.size())
            qFatal("the settings file could not be written");
        return path;
    }

private Q_SLOTS:
    void anEarlierRunsFileReadsTheSame() {
        const QSettingsStore store(fileWith(EarlierFile));
        QCOMPARE(store.chosenAdb(), QStringLiteral("/opt/sdk/platform-tools/adb"));
        QCOMPARE(store.chosenViewer(), QStringLiteral("/usr/bin/remmina"));
        QCOMPARE(store.rememberedVncPort(QStringLiteral("emulator-5554")),
                 std::optional(portOf(5905)));
        QCOMPARE(store.rememberedVncPort(QStringLiteral("R58M/1")), std::optional(portOf(5902)));
        QCOMPARE(store.rememberedVncPort(QStringLiteral("R58M")), std::nullopt);
        QCOMPARE(store.windowGeometry(), QByteArray("\x01\xd9\xd0\xcb\0\x03\0\0\0\x02", 10));
    }

    // What the store writes, a run that knows only the file reads back: the
    // same keys, whatever the serial holds.
    void writtenUnderTheKeysAnEarlierRunReads() {
        const QString path = folder_.filePath(QStringLiteral("written.conf"));
        QSettingsStore store(path);
        QCOMPARE(store.storeChosenAdb(QStringLiteral("/opt/adb")), QString());
        QCOMPARE(store.storeChosenViewer(QStringLiteral("/usr/bin/krdc")), QString());
        QCOMPARE(store.rememberVncPort(QStringLiteral("emulator-5554"), portOf(5905)), QString());
        QCOMPARE(store.rememberVncPort(QStringLiteral("R58M/1"), portOf(5902)), QString());
        store.rememberWindowGeometry(QByteArray("\x01\xd9", 2));

        const QSettings file(path, QSettings::IniFormat);
        QCOMPARE(file.allKeys().size(), 5);
        QCOMPARE(file.value(QStringLiteral("adb")).toString(), QStringLiteral("/opt/adb"));
        QCOMPARE(file.value(QStringLiteral("viewer")).toString(), QStringLiteral("/usr/bin/krdc"));
        QCOMPARE(
            file.value(QStringLiteral("phones/f9d3211a9148dbc38493f2c90508fc3ea4c58d64/vncPort"))
                .toInt(),
            5905);
        QCOMPARE(
            file.value(QStringLiteral("phones/e8a011f44cb09a68dfcf258505cf7a9adb7a6e57/vncPort"))
                .toInt(),
            5902);
        QCOMPARE(file.value(QStringLiteral("windowGeometry")).toByteArray(),
                 QByteArray("\x01\xd9", 2));

        // Forgetting the viewer takes its key away.
        QCOMPARE(store.storeChosenViewer(QString()), QString());
        QVERIFY(!QSettings(path, QSettings::IniFormat).contains(QStringLiteral("viewer")));
    }

    // The file is anyone's to edit: a value that is no port is as good as none.
    void storedPortIsChecked_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("read"); // 0: none
        QTest::newRow("a port") << QVariant("5903") << 5903;
        QTest::newRow("a number") << QVariant(5904) << 5904;
        QTest::newRow("not a number") << QVariant("59o1") << 0;
        QTest::newRow("too high") << QVariant(70000) << 0;
        QTest::newRow("zero") << QVariant(0) << 0;
        QTest::newRow("negative") << QVariant(-5901) << 0;
        QTest::newRow("a list") << QVariant(QStringList{"5902", "5903"}) << 0;
    }
    void storedPortIsChecked() {
        QFETCH(QVariant, stored);
        QFETCH(int, read);
        const QString path = folder_.filePath(QStringLiteral("edited.conf"));
        QSettings(path, QSettings::IniFormat)
            .setValue(QStringLiteral("phones/f9d3211a9148dbc38493f2c90508fc3ea4c58d64/vncPort"),
                      stored);
        const std::optional<TcpPort> expected =
            read == 0 ? std::nullopt : std::optional(portOf(read));
        QCOMPARE(QSettingsStore(path).rememberedVncPort(QStringLiteral("emulator-5554")), expected);
    }

    // Where View shows a screen: the user's word when the file holds one;
    // else whoever chose an outside viewer keeps it, and everyone else gets
    // this program's window. A word the program never wrote is no choice.
    void viewPlaceFollowsTheChoiceOrTheDefault_data() {
        QTest::addColumn<QVariant>("stored"); // null: no key
        QTest::addColumn<QString>("viewer");
        QTest::addColumn<ViewPlace>("read");
        const QString remmina = QStringLiteral("/usr/bin/remmina");
        QTest::newRow("no key, no viewer") << QVariant() << QString() << ViewPlace::ThisProgram;
        QTest::newRow("no key, a viewer chosen")
            << QVariant() << remmina << ViewPlace::AnotherViewer;
        QTest::newRow("this program, a viewer chosen")
            << QVariant("thisProgram") << remmina << ViewPlace::ThisProgram;
        QTest::newRow("another viewer, none chosen")
            << QVariant("anotherViewer") << QString() << ViewPlace::AnotherViewer;
        QTest::newRow("garbage, no viewer")
            << QVariant("elsewhere") << QString() << ViewPlace::ThisProgram;
        QTest::newRow("garbage, a viewer chosen")
            << QVariant("ThisProgram") << remmina << ViewPlace::AnotherViewer;
        QTest::newRow("a list") << QVariant(QStringList{"thisProgram", "anotherViewer"}) << remmina
                                << ViewPlace::AnotherViewer;
        QTest::newRow("a number") << QVariant(0) << QString() << ViewPlace::ThisProgram;
    }
    void viewPlaceFollowsTheChoiceOrTheDefault() {
        QFETCH(QVariant, stored);
        QFETCH(QString, viewer);
        QFETCH(ViewPlace, read);
        const QString path = folder_.filePath(QStringLiteral("place.conf"));
        QFile::remove(path);
        {
            QSettings file(path, QSettings::IniFormat);
            if (!stored.isNull())
                file.setValue(QStringLiteral("viewIn"), stored);
            if (!viewer.isEmpty())
                file.setValue(QStringLiteral("viewer"), viewer);
        }
        QCOMPARE(viewPlaceOf(QSettingsStore(path)), read);
    }

    // The choice, once made, is read back by a later run whatever the viewer.
    void aChosenViewPlaceIsKept() {
        const QString path = folder_.filePath(QStringLiteral("chosen.conf"));
        QSettingsStore store(path);
        QCOMPARE(store.storeChosenViewer(QStringLiteral("/usr/bin/krdc")), QString());
        QCOMPARE(store.storeViewPlace(ViewPlace::ThisProgram), QString());
        QCOMPARE(viewPlaceOf(QSettingsStore(path)), ViewPlace::ThisProgram);
        QCOMPARE(store.storeViewPlace(ViewPlace::AnotherViewer), QString());
        QCOMPARE(QSettingsStore(path).chosenViewPlace(), std::optional(ViewPlace::AnotherViewer));
    }

    // Where the file should be there is a folder, which no writer, root
    // included, can replace.
    void aFileThatCannotBeWrittenIsSaid_data() {
        QTest::addColumn<QString>("setting");
        QTest::newRow("adb") << "adb";
        QTest::newRow("viewer") << "viewer";
        QTest::newRow("a phone's port") << "port";
        QTest::newRow("where View shows") << "place";
    }
    void aFileThatCannotBeWrittenIsSaid() {
        QFETCH(QString, setting);
        const QString path = folder_.filePath(QStringLiteral("blocked.conf"));
        QVERIFY(QDir().mkpath(path));
        QSettingsStore store(path);
        const QString failure =
            setting == "adb"      ? store.storeChosenAdb(QStringLiteral("/opt/adb"))
            : setting == "viewer" ? store.storeChosenViewer(QStringLiteral("/usr/bin/krdc"))
            : setting == "place"
                ? store.storeViewPlace(ViewPlace::ThisProgram)
                : store.rememberVncPort(QStringLiteral("emulator-5554"), portOf(5905));
        QCOMPARE(failure, path + QStringLiteral(" could not be written"));
    }

    // The program's own file is where the platform keeps this user's settings
    // for the program, as it always was.
    void theProgramsFileIsTheUsualOne() {
        QStandardPaths::setTestModeEnabled(true);
        QCOMPARE(QSettingsStore().fileName(),
                 QSettings(QStringLiteral("Ostrel"), QStringLiteral("Ostrel Dravik")).fileName());
    }
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "test_settings_store.moc"
