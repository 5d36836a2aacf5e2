// SPDX-License-Identifier: GPL-3.0-or-later
// The server's output file: whatever is planted at its name or its folder's
// is left exactly as it was, nothing blocks, and the server's words still
// come back through the file the program made.
#include "core/process/ProcessRunner.h"
#include "core/session/ServerOutput.h"
#include "core/session/ServerOutputFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

using namespace ostrel;

namespace {

const QString Serial = QStringLiteral("0123456789ABCDEF");
const QByteArray Precious = "precious\n";

enum class Planted {
    Nothing,
    EarlierFile,
    LinkToFile,
    DanglingLink,
    NamedPipe,
    LinkedFolder,
    FolderOpenToOthers,
    FolderWritableByGroup,
    FileAsFolder,
    SomeoneElsesFolder,
    FolderAtTheFileName
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

mode_t modeOf(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode : 0;
}

} // namespace

Q_DECLARE_METATYPE(Planted)

class ServerOutputTest : public QObject {
    Q_OBJECT

    QTemporaryDir runtime_;
    QString folder_;  // the program's own folder below the runtime folder
    QString outside_; // where planted links lead

private Q_SLOTS:
    void init() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
        folder_ = usualServerOutputFolder().path;
        QVERIFY(folder_.startsWith(runtime_.path() + QLatin1Char('/')));
        outside_ = runtime_.filePath(QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(outside_));
        QVERIFY(QFile::setPermissions(
            outside_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                          QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        writeFile(outside_ + QStringLiteral("/target"), Precious);
        QVERIFY(QFile::setPermissions(outside_ + QStringLiteral("/target"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                          QFile::ReadOther));
    }
    void cleanup() {
        qunsetenv("XDG_CACHE_HOME");
        QDir(runtime_.path()).removeRecursively();
        QDir().mkpath(runtime_.path());
    }

    void plantedThingsAreLeftAlone_data() {
        QTest::addColumn<Planted>("planted");
        QTest::newRow("nothing") << Planted::Nothing;
        QTest::newRow("an earlier run's file") << Planted::EarlierFile;
        QTest::newRow("link to a file") << Planted::LinkToFile;
        QTest::newRow("dangling link") << Planted::DanglingLink;
        QTest::newRow("named pipe") << Planted::NamedPipe;
        QTest::newRow("linked folder") << Planted::LinkedFolder;
        QTest::newRow("folder open to others") << Planted::FolderOpenToOthers;
    }

    // A server's words reach the file through the descriptor, and nothing
    // outside the program's own files changes, in content or in mode.
    void plantedThingsAreLeftAlone() {
        QFETCH(Planted, planted);
        plant(planted);
        const QStringList outsideBefore = QDir(outside_).entryList(QDir::AllEntries | QDir::System);
        const mode_t outsideMode = modeOf(outside_);

        QElapsedTimer clock;
        clock.start();
        ServerOutputFolder outputs;
        const ServerOutput output = outputs.createFor(Serial).output;
        ProcessRunner runner;
        const QString failure = runner.startDetached(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("echo said; echo cried >&2")},
            output.descriptor());
        QVERIFY2(clock.elapsed() < 2000, "a planted name held up the start");
        QCOMPARE(failure, QString());

        QVERIFY(output.descriptor() >= 0);
        QTRY_COMPARE(output.tail(), QStringLiteral("    said\r\n    cried\r\n"));
        const QFileInfo made(output.path());
        QVERIFY(made.isFile() && !made.isSymLink());
        QCOMPARE(modeOf(output.path()) & 07777, mode_t(0600));
        QCOMPARE(modeOf(made.absolutePath()) & 07777, mode_t(0700));
        QCOMPARE(made.fileName(), serverOutputName(Serial));

        QCOMPARE(contentOf(outside_ + QStringLiteral("/target")), Precious);
        QCOMPARE(modeOf(outside_ + QStringLiteral("/target")) & 07777, mode_t(0644));
        QCOMPARE(QDir(outside_).entryList(QDir::AllEntries | QDir::System), outsideBefore);
        QCOMPARE(modeOf(outside_), outsideMode);
        if (planted == Planted::FolderOpenToOthers)
            QCOMPARE(modeOf(folder_) & 07777, mode_t(0755));
    }

    // Whatever takes the file's name after it was made is neither written
    // through nor read, nor waited on: the server and the tail keep to the
    // file the program made.
    void aNamePlantedAfterTheFileWasMadeIsIgnored_data() {
        QTest::addColumn<Planted>("planted");
        QTest::newRow("link to a file") << Planted::LinkToFile;
        QTest::newRow("named pipe") << Planted::NamedPipe;
    }
    void aNamePlantedAfterTheFileWasMadeIsIgnored() {
        QFETCH(Planted, planted);
        ServerOutputFolder outputs;
        const ServerOutput output = outputs.createFor(Serial).output;
        QVERIFY(QFile::remove(output.path()));
        plant(planted);

        QElapsedTimer clock;
        clock.start();
        ProcessRunner runner;
        QCOMPARE(runner.startDetached(QStringLiteral("/bin/sh"),
                                      {QStringLiteral("-c"), QStringLiteral("echo said")},
                                      output.descriptor()),
                 QString());
        QTRY_COMPARE(output.tail(), QStringLiteral("    said\r\n"));
        QVERIFY2(clock.elapsed() < 2000, "a planted name held up the start");
        QTest::qWait(200); // words sent the wrong way would have landed by now
        QCOMPARE(contentOf(outside_ + QStringLiteral("/target")), Precious);
    }

    // Serials that read alike in a file name still get files of their own.
    void eachSerialHasItsOwnFile() {
        const QStringList serials{QStringLiteral("adb-1 (2)._adb-tls-connect._tcp"),
                                  QStringLiteral("adb-1_(2)._adb-tls-connect._tcp"),
                                  QStringLiteral("../../etc/passwd"), QStringLiteral("..")};
        QSet<QString> names;
        for (const QString& serial : serials) {
            const QString name = serverOutputName(serial);
            QVERIFY2(!name.contains(QLatin1Char('/')) && !name.startsWith(QLatin1Char('.')),
                     qPrintable(name));
            names.insert(name);
        }
        QCOMPARE(names.size(), serials.size());
    }

    // The tail is the end of a long output, cut at a line, and shows its
    // controls as every other outside text shows them.
    void tailShowsTheLastLinesPlainly() {
        ServerOutputFolder outputs;
        const ServerOutput output = outputs.createFor(Serial).output;
        QByteArray printed(100 * 1024, 'x');
        for (int line = 1; line <= 12; ++line)
            printed += "\nline " + QByteArray::number(line);
        printed += "\n\x1b[2Jbell\a\ttab\r\n";
        printed += "dl/\xe2\x80\xaegnp.exe \xf0\x9f\x98\x80\x1b\n";
        QCOMPARE(::write(output.descriptor(), printed.constData(), size_t(printed.size())),
                 ssize_t(printed.size()));
        QString expected;
        for (int line = 5; line <= 12; ++line)
            expected += QStringLiteral("    line %1\r\n").arg(line);
        expected += QStringLiteral("    \u241B[2Jbell\u2407 tab\r\n");
        expected += QStringLiteral("    dl/<U+202E>gnp.exe \U0001F600\u241B\r\n");
        QCOMPARE(output.tail(), expected);
    }

    // A runaway line is cut at the same shown length whatever it holds, and
    // never inside a symbol or a character.
    void aLongLineIsCutBetweenCharacters_data() {
        QTest::addColumn<QByteArray>("printed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letters") << QByteArray(400, 'x') << QString(300, u'x') + "...";
        QTest::newRow("bells") << QByteArray(400, '\a') << QString(300, QChar(0x2407)) + "...";
        QTest::newRow("overrides") << QByteArray("\xe2\x80\xae").repeated(100)
                                   << QStringLiteral("<U+202E>").repeated(37) + "...";
        QTest::newRow("a pair at the cut")
            << QByteArray(299, 'x') + "\xf0\x9f\x98\x80y" << QString(299, u'x') + "...";
    }

    void aLongLineIsCutBetweenCharacters() {
        QFETCH(QByteArray, printed);
        QFETCH(QString, shown);
        ServerOutputFolder outputs;
        const ServerOutput output = outputs.createFor(Serial).output;
        QCOMPARE(::write(output.descriptor(), printed.constData(), size_t(printed.size())),
                 ssize_t(printed.size()));
        QCOMPARE(output.tail(), "    " + shown + "\r\n");
    }

    // A usual folder that cannot be used is said once, with why; the run
    // then keeps every server's output in one folder of its own, which goes
    // with the run, and nothing else is left behind.
    void anUnusableFolderGivesTheRunOneFolderOfItsOwn_data() {
        QTest::addColumn<Planted>("planted");
        QTest::addColumn<QString>("why");
        QTest::newRow("a link") << Planted::LinkedFolder << "FOLDER is a link";
        QTest::newRow("open to others")
            << Planted::FolderOpenToOthers << "FOLDER is open to other users (mode 755)";
        QTest::newRow("writable by the group")
            << Planted::FolderWritableByGroup << "FOLDER is open to other users (mode 770)";
        QTest::newRow("a file") << Planted::FileAsFolder << "FOLDER is not a folder";
        QTest::newRow("someone else's")
            << Planted::SomeoneElsesFolder << "FOLDER belongs to another user";
        QTest::newRow("a folder at the file's name")
            << Planted::FolderAtTheFileName << "NAME could not be made in FOLDER";
    }

    void anUnusableFolderGivesTheRunOneFolderOfItsOwn() {
        QFETCH(Planted, planted);
        QFETCH(QString, why);
        if (planted == Planted::SomeoneElsesFolder && ::geteuid() != 0)
            QSKIP("only root can give a folder to someone else");
        plant(planted);
        const QStringList before = runtimeEntries();
        QString runFolder;
        {
            ServerOutputFolder outputs;
            const ServerOutputFolder::Made first = outputs.createFor(Serial);
            const ServerOutputFolder::Made second = outputs.createFor(QStringLiteral("other"));
            const ServerOutputFolder::Made third = outputs.createFor(Serial);
            runFolder = outputs.runFolder();

            QVERIFY(runFolder.startsWith(runtime_.path() + QLatin1Char('/')));
            for (const ServerOutputFolder::Made* made : {&first, &second, &third}) {
                QVERIFY(made->output.descriptor() >= 0);
                QCOMPARE(QFileInfo(made->output.path()).absolutePath(), runFolder);
            }
            why.replace(QStringLiteral("FOLDER"), folder_)
                .replace(QStringLiteral("NAME"), serverOutputName(Serial));
            QCOMPARE(first.note, QStringLiteral("Note: %1, so the server's output is kept in %2 "
                                                "until the program ends.\r\n")
                                     .arg(why, runFolder));
            QCOMPARE(second.note, QString());
            QCOMPARE(third.note, QString());
            QCOMPARE(modeOf(runFolder) & 07777, mode_t(0700));
            QCOMPARE(runtimeEntries().size(), before.size() + 1);
        }
        QVERIFY(!QFileInfo::exists(runFolder));
        QCOMPARE(runtimeEntries(), before);
        QCOMPARE(contentOf(outside_ + QStringLiteral("/target")), Precious);
    }

    // An XDG_RUNTIME_DIR that is relative or no folder is passed over, as the
    // base-directory convention asks, with one line; the output then goes to
    // the cache folder, and never to the current one.
    void anUnusableRuntimeFolderIsPassedOver_data() {
        QTest::addColumn<QString>("runtime");
        QTest::addColumn<QString>("why");
        QTest::newRow("relative") << "run"
                                  << "is not named in full";
        QTest::newRow("a file") << "FILE"
                                << "is not a folder";
        QTest::newRow("missing") << "/nonexistent/run"
                                 << "is not a folder";
    }

    void anUnusableRuntimeFolderIsPassedOver() {
        QFETCH(QString, runtime);
        QFETCH(QString, why);
        const QTemporaryDir cache;
        const QTemporaryDir startedIn;
        const QString file = runtime_.filePath(QStringLiteral("file"));
        writeFile(file, Precious);
        runtime.replace(QStringLiteral("FILE"), file);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(startedIn.path()));
        ServerOutputFolder outputs;
        const ServerOutputFolder::Made first = outputs.createFor(Serial);
        const ServerOutputFolder::Made second = outputs.createFor(Serial);
        QVERIFY(QDir::setCurrent(before));

        QCOMPARE(first.note, QStringLiteral("Note: XDG_RUNTIME_DIR (%1) %2, so it is ignored.\r\n")
                                 .arg(runtime, why));
        QCOMPARE(second.note, QString());
        for (const ServerOutputFolder::Made* made : {&first, &second}) {
            QVERIFY(made->output.descriptor() >= 0);
            QVERIFY2(made->output.path().startsWith(cache.path() + QLatin1Char('/')),
                     qPrintable(made->output.path()));
        }
        QCOMPARE(QDir(startedIn.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
        QCOMPARE(contentOf(file), Precious);
    }

private:
    QStringList runtimeEntries() const {
        return QDir(runtime_.path())
            .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    }

    void plant(Planted planted) {
        const QString file = folder_ + QLatin1Char('/') + serverOutputName(Serial);
        const QByteArray target = QFile::encodeName(outside_ + QStringLiteral("/target"));
        if (planted != Planted::LinkedFolder && planted != Planted::FileAsFolder) {
            QVERIFY(QDir().mkpath(folder_));
            const mode_t mode = planted == Planted::FolderOpenToOthers      ? 0755
                                : planted == Planted::FolderWritableByGroup ? 0770
                                                                            : 0700;
            QCOMPARE(::chmod(QFile::encodeName(folder_).constData(), mode), 0);
        }
        switch (planted) {
        case Planted::Nothing:
        case Planted::FolderOpenToOthers:
        case Planted::FolderWritableByGroup:
            break;
        case Planted::FileAsFolder:
            writeFile(folder_, Precious);
            break;
        case Planted::FolderAtTheFileName:
            QVERIFY(QDir().mkpath(file + QStringLiteral("/inside")));
            break;
        case Planted::SomeoneElsesFolder:
            QCOMPARE(::chown(QFile::encodeName(folder_).constData(), 65534, 65534), 0);
            break;
        case Planted::EarlierFile:
            writeFile(file, "an earlier run\n");
            break;
        case Planted::LinkToFile:
            QVERIFY(QFile::link(QFile::decodeName(target), file));
            break;
        case Planted::DanglingLink:
            QVERIFY(QFile::link(outside_ + QStringLiteral("/never-made"), file));
            break;
        case Planted::NamedPipe:
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
            break;
        case Planted::LinkedFolder:
            QVERIFY(QFile::link(outside_, folder_));
            break;
        }
    }
};

QTEST_GUILESS_MAIN(ServerOutputTest)
#include "test_server_output.moc"
