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

    void cleanup() {
        QDir(root.path()).removeRecursively();
        QDir().mkpath(root.path());
    }
};

QTEST_APPLESS_MAIN(AdbLocatorTest)
#include "test_adb_locator.moc"
