// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's standard output failing under it. A reader that has
// gone (`| head -1` having read its line) is a normal end: the script got
// what it wanted. Any other failure (a full disk, an I/O error) loses what
// the script asked for, and is said as such.
#include "support/FakeAdbServer.h"
#include "support/StandInAdb.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace ostrel::test;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString Launcher = QStringLiteral(OSTREL_DRAVIK_EXECUTABLE);

enum class Output { Full, ReaderGone };

// A pipe whose reader has gone before the program starts: every write to it
// fails with EPIPE.
class ReaderlessPipe {
public:
    ReaderlessPipe() {
        int ends[2] = {-1, -1};
        if (::pipe(ends) == 0) {
            ::close(ends[0]);
            writeEnd_ = ends[1];
            ::fcntl(writeEnd_, F_SETFD, FD_CLOEXEC);
        }
    }
    ~ReaderlessPipe() {
        if (writeEnd_ >= 0)
            ::close(writeEnd_);
    }
    ReaderlessPipe(const ReaderlessPipe&) = delete;
    ReaderlessPipe& operator=(const ReaderlessPipe&) = delete;

    bool isOpen() const { return writeEnd_ >= 0; }
    // Makes it the standard output of `process`.
    void attach(QProcess& process) const {
        const int fd = writeEnd_;
        process.setChildProcessModifier([fd] { ::dup2(fd, STDOUT_FILENO); });
    }

private:
    int writeEnd_ = -1;
};

} // namespace

Q_DECLARE_METATYPE(Output)

class E2eOutputErrorsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void writeFailures_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Output>("output");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("errors");
        // In the words of the C library, in the language both processes use.
        const QString full = u"Error: the output could not be written: %1.\n"_s.arg(
            QString::fromLocal8Bit(std::strerror(ENOSPC)));
        const QStringList devices{u"--devices"_s};
        const QStringList watch{u"--watch"_s};
        const QStringList help{u"--help"_s};
        QTest::newRow("devices, full") << devices << Output::Full << 1 << full;
        QTest::newRow("devices, reader gone") << devices << Output::ReaderGone << 0 << QString();
        // The watch writes nothing more once it cannot, so it must end.
        QTest::newRow("watch, full") << watch << Output::Full << 1 << full;
        QTest::newRow("watch, reader gone") << watch << Output::ReaderGone << 0 << QString();
        QTest::newRow("help, full") << help << Output::Full << 1 << full;
        QTest::newRow("help, reader gone") << help << Output::ReaderGone << 0 << QString();
    }

    // One phone, listed by a stand-in adb and its stand-in server.
    void writeFailures() {
        QFETCH(QStringList, arguments);
        QFETCH(Output, output);
        QFETCH(int, status);
        QFETCH(QString, errors);
        QTemporaryDir directory;
        StandInAdb adb(directory.filePath(u"adb-bin"_s));
        adb.setStandardOutput("List of devices attached\nemulator-5554\tdevice\n\n");
        FakeAdbServer server;
        QVERIFY(server.listen());
        server.setDevices("emulator-5554\tdevice\n");

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ADB_SERVER_SOCKET"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(u"HOME"_s, directory.path());
        environment.insert(u"XDG_CONFIG_HOME"_s, directory.filePath(u"config"_s));
        environment.insert(u"ANDROID_ADB_SERVER_PORT"_s, QString::number(server.port()));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setStandardInputFile(QProcess::nullDevice());
        const ReaderlessPipe pipe;
        if (output == Output::Full) {
            if (!QFile::exists(u"/dev/full"_s))
                QSKIP("This system has no /dev/full.");
            program.setStandardOutputFile(u"/dev/full"_s);
        } else {
            QVERIFY(pipe.isOpen());
            pipe.attach(program);
        }
        program.start(Launcher, QStringList{u"--adb"_s, adb.path()} + arguments);
        QVERIFY(program.waitForStarted());
        // waitForFinished() would keep the stand-in server from answering.
        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, 10000);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(QString::fromUtf8(program.readAllStandardError()), errors);
        QCOMPARE(program.exitCode(), status);
    }
};

QTEST_GUILESS_MAIN(E2eOutputErrorsTest)
#include "test_e2e_output_errors.moc"
