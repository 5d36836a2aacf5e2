// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/AdbLocator.h"
#include "launch/ProgramHandOver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using ostrel::locateAdb;

class AdbLocatorTest : public QObject {
    Q_OBJECT

    QTemporaryDir root;

    QString place(const QString& folder, bool executable = true) {
        QDir().mkpath(root.filePath(folder));
        const QString path = QDir(root.filePath(folder)).filePath("adb");
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.close();
        QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
        if (executable)
            permissions |= QFile::ExeOwner;
        QFile::setPermissions(path, permissions);
        return path;
    }

private Q_SLOTS:
    void findsInOrder_data() {
        QTest::addColumn<QStringList>("present"); // folders that hold an adb
        QTest::addColumn<bool>("chosen");         // the user chose one (that does not exist)
        QTest::addColumn<QString>("expected");    // folder of the result; "chosen" or "" for none

        QTest::newRow("chosen wins though missing")
            << QStringList{"app", "sdk/platform-tools", "bin"} << true << "chosen";
        QTest::newRow("beside the program")
            << QStringList{"app", "sdk/platform-tools", "bin"} << false << "app";
        QTest::newRow("ANDROID_HOME")
            << QStringList{"sdk/platform-tools", "bin"} << false << "sdk/platform-tools";
        QTest::newRow("ANDROID_SDK_ROOT")
            << QStringList{"root/platform-tools", "bin"} << false << "root/platform-tools";
        QTest::newRow("PATH") << QStringList{"bin"} << false << "bin";
        QTest::newRow("none") << QStringList{} << false << "";
    }

    void findsInOrder() {
        QFETCH(QStringList, present);
        QFETCH(bool, chosen);
        QFETCH(QString, expected);
        QVERIFY(root.isValid());
        for (const QString& folder : present)
            place(folder);
        QProcessEnvironment environment;
        environment.insert("ANDROID_HOME", root.filePath("sdk"));
        environment.insert("ANDROID_SDK_ROOT", root.filePath("root"));
        environment.insert("PATH", root.filePath("empty") + ":" + root.filePath("bin"));
        const QString chosenPath = root.filePath("gone/adb");
        const QString found = locateAdb(chosen ? std::optional<QString>(chosenPath) : std::nullopt,
                                        root.filePath("app"), environment);
        if (expected == "chosen")
            QCOMPARE(found, chosenPath);
        else if (expected.isEmpty())
            QCOMPARE(found, QString());
        else
            QCOMPARE(found, QDir(root.filePath(expected)).filePath("adb"));
    }

    void skipsAFileThatCannotRun() {
        place("app", false);
        const QString onPath = place("bin");
        QProcessEnvironment environment;
        environment.insert("PATH", root.filePath("bin"));
        QCOMPARE(locateAdb(std::nullopt, root.filePath("app"), environment), onPath);
    }

    // "Beside the program" is beside the ostrel-dravik that was started, for
    // the programs it starts from their own folder too; each finds the others
    // where they were installed, or beside itself in a build tree.
    void besideTheProgramIsBesideTheOneStarted_data() {
        QTest::addColumn<QString>("ownFolder");
        QTest::addColumn<QString>("launcher");
        QTest::addColumn<QStringList>("windowCandidates");
        const QString window = QStringLiteral("ostrel-dravik-window");
        QTest::newRow("installed, a started program")
            << "/usr/lib/ostrel-dravik"
            << "/usr/bin" << QStringList{"/usr/lib/ostrel-dravik/" + window};
        QTest::newRow("installed, trailing slash")
            << "/opt/od/lib/ostrel-dravik/"
            << "/opt/od/bin" << QStringList{"/opt/od/lib/ostrel-dravik/" + window};
        QTest::newRow("installed, the one people start")
            << "/usr/bin"
            << "/usr/bin" << QStringList{"/usr/lib/ostrel-dravik/" + window, "/usr/bin/" + window};
        QTest::newRow("build tree")
            << "/b/src"
            << "/b/src" << QStringList{"/b/lib/ostrel-dravik/" + window, "/b/src/" + window};
        QTest::newRow("a folder that merely ends alike")
            << "/srv/mylib/ostrel-dravik"
            << "/srv/mylib/ostrel-dravik"
            << QStringList{"/srv/mylib/lib/ostrel-dravik/" + window,
                           "/srv/mylib/ostrel-dravik/" + window};
    }
    void besideTheProgramIsBesideTheOneStarted() {
        QFETCH(QString, ownFolder);
        QFETCH(QString, launcher);
        QFETCH(QStringList, windowCandidates);
        const std::string own = ownFolder.toStdString();
        QCOMPARE(QString::fromStdString(ostrel::launch::launcherFolder(own)), launcher);
        QStringList candidates;
        for (const std::string& candidate :
             ostrel::launch::programCandidates(own, ostrel::launch::WindowProgram))
            candidates.append(QString::fromStdString(candidate));
        QCOMPARE(candidates, windowCandidates);
    }

    // Started from a folder that holds an adb in every relative place the
    // environment could name, the program runs none of them; an adb in a
    // folder named in full is still found.
    void nothingFromTheCurrentFolder_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("androidHome");
        QTest::addColumn<QString>("sdkRoot");
        QTest::addColumn<bool>("foundInFull"); // else: none
        QTest::addColumn<QStringList>("ignored");

        // FULL stands for the folder named in full that holds an adb.
        QTest::newRow("dot in PATH") << "."
                                     << ""
                                     << "" << false << QStringList{"PATH ."};
        QTest::newRow("relative PATH folder before a full one")
            << "bin:FULL"
            << ""
            << "" << true << QStringList{"PATH bin"};
        QTest::newRow("dot-dot in PATH") << "../here/bin"
                                         << ""
                                         << "" << false << QStringList{"PATH ../here/bin"};
        QTest::newRow("empty PATH entry") << ":FULL:"
                                          << ""
                                          << "" << true << QStringList{};
        QTest::newRow("relative ANDROID_HOME") << "FULL"
                                               << "sdk"
                                               << "" << true << QStringList{"ANDROID_HOME sdk"};
        QTest::newRow("relative ANDROID_SDK_ROOT")
            << ""
            << ""
            << "./sdk" << false << QStringList{"ANDROID_SDK_ROOT ./sdk"};
        QTest::newRow("all at once")
            << ".:bin"
            << "sdk"
            << "sdk" << false
            << QStringList{"ANDROID_HOME sdk", "ANDROID_SDK_ROOT sdk", "PATH .", "PATH bin"};
        QTest::newRow("all named in full") << "FULL"
                                           << ""
                                           << "" << true << QStringList{};
    }

    void nothingFromTheCurrentFolder() {
        QFETCH(QString, path);
        QFETCH(QString, androidHome);
        QFETCH(QString, sdkRoot);
        QFETCH(bool, foundInFull);
        QFETCH(QStringList, ignored);
        QVERIFY(root.isValid());
        place("here");
        place("here/bin");
        place("here/sdk/platform-tools");
        const QString inFull = place("full");
        const QString startedIn = QDir::currentPath();
        QVERIFY(QDir::setCurrent(root.filePath("here")));
        QProcessEnvironment environment;
        environment.insert("PATH", QString(path).replace("FULL", root.filePath("full")));
        if (!androidHome.isEmpty())
            environment.insert("ANDROID_HOME", androidHome);
        if (!sdkRoot.isEmpty())
            environment.insert("ANDROID_SDK_ROOT", sdkRoot);

        const QString found = locateAdb(std::nullopt, root.filePath("app"), environment);
        QStringList said;
        for (const ostrel::IgnoredAdbFolder& folder : ostrel::ignoredAdbFolders(environment))
            said.append(folder.variable + ' ' + folder.folder);
        QVERIFY(QDir::setCurrent(startedIn));

        QCOMPARE(found, foundInFull ? inFull : QString());
        QCOMPARE(said, ignored);
        for (const QString& candidate :
             ostrel::adbCandidatesBeforePath(root.filePath("app"), environment))
            QVERIFY2(QDir::isAbsolutePath(candidate), qPrintable(candidate));
    }

    void cleanup() {
        QDir(root.path()).removeRecursively();
        QDir().mkpath(root.path());
    }
};

QTEST_APPLESS_MAIN(AdbLocatorTest)
#include "test_adb_locator.moc"
