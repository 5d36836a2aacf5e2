// SPDX-License-Identifier: GPL-3.0-or-later
// `--watch` in this process, its waits shortened: a scripted adb whose
// start-server always fails, and a stand-in server that comes, goes or
// breaks the protocol.
#include "cli/CommandLineOutput.h"
#include "cli/WatchVerb.h"
#include "support/FakeAdbServer.h"
#include "support/SessionFixture.h"

#include <QElapsedTimer>
#include <QTest>

#include <cstdio>
#include <memory>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;

namespace {

// Tries 10 times a second, gives up at start-up after 0.6 s.
cli::WatchTiming quickTiming() {
    cli::WatchTiming timing;
    timing.watch.retry = 100ms;
    timing.watch.lostAfter = 200ms;
    timing.watch.settle = 0ms;
    timing.firstServerLimit = 600ms;
    return timing;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

QString contentOf(std::FILE* file) {
    std::fflush(file);
    const long size = std::ftell(file);
    QByteArray bytes(size, '\0');
    std::rewind(file);
    const std::size_t read = std::fread(bytes.data(), 1, static_cast<std::size_t>(size), file);
    bytes.truncate(static_cast<qsizetype>(read));
    std::fseek(file, 0, SEEK_END);
    return QString::fromUtf8(bytes);
}

// The verb as the command line runs it, on a session whose adb is scripted
// ("start-server" is an unknown command to it) and whose server is `server`.
struct WatchRun {
    explicit WatchRun(const FakeAdbServer& server)
        : fixture(QJsonObject{}, fastWaits(), server.address()), out(std::tmpfile()),
          err(std::tmpfile()), output(out.get(), err.get()),
          verb(fixture.session, output, QString(), quickTiming()) {
        output.follow(fixture.session);
        QObject::connect(&verb, &cli::WatchVerb::finished, &verb,
                         [this](int exitStatus) { status = exitStatus; });
    }

    int startServerRuns() const {
        return static_cast<int>(fixture.phone.invocations().count(QStringList{"start-server"}));
    }
    QString standardOutput() const { return contentOf(out.get()); }
    QStringList errorLines() const { return contentOf(err.get()).split(u'\n', Qt::SkipEmptyParts); }
    QString story() const {
        return QStringLiteral("%1 start-server runs\n--- stdout\n%2--- stderr\n%3")
            .arg(startServerRuns())
            .arg(standardOutput(), contentOf(err.get()));
    }

    SessionFixture fixture;
    File out;
    File err;
    cli::CommandLineOutput output;
    cli::WatchVerb verb;
    int status = -1;
};

// Whether each line is there once.
bool allDistinct(const QStringList& lines) {
    return QSet<QString>(lines.begin(), lines.end()).size() == lines.size();
}

} // namespace

class WatchVerbTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // No server at start-up and none can be started: a start-server each
    // retry interval at most, then one line that names the address once and
    // says both why, and exit status 1.
    void givesUpAtStartUpInOneLine() {
        FakeAdbServer server;
        QVERIFY(server.listen());
        server.goAway();
        WatchRun run(server);
        QElapsedTimer clock;
        clock.start();
        run.verb.start();
        QTRY_COMPARE_WITH_TIMEOUT(run.status, 1, 5000);

        const qint64 allowed = clock.elapsed() / 100 + 2;
        QVERIFY2(run.startServerRuns() >= 1 && run.startServerRuns() <= allowed,
                 qPrintable(run.story()));
        QCOMPARE(run.standardOutput(), QString());
        QCOMPARE(run.errorLines(),
                 QStringList{QStringLiteral("Error: no adb server could be reached at %1: "
                                            "Connection refused; adb start-server failed: adb: "
                                            "unknown command start-server.")
                                 .arg(server.address().text())});
    }

    // A server that goes away while watched, and none can be started: its
    // phone is gone, adb is run at most once per retry interval, each reason
    // is said once, and a server that comes back is followed again.
    void aLostServerIsRestartedAtMostOncePerInterval() {
        FakeAdbServer server;
        server.setDevices("A\tdevice\n");
        QVERIFY(server.listen());
        WatchRun run(server);
        run.verb.start();
        QTRY_COMPARE_WITH_TIMEOUT(run.standardOutput(), QStringLiteral("A\tdevice\n"), 5000);

        server.goAway();
        QElapsedTimer clock;
        clock.start();
        QTRY_COMPARE_WITH_TIMEOUT(run.standardOutput(), QStringLiteral("A\tdevice\nA\tgone\n"),
                                  5000);
        QTest::qWait(1000);
        const qint64 allowed = clock.elapsed() / 100 + 2;
        QVERIFY2(run.startServerRuns() >= 3 && run.startServerRuns() <= allowed,
                 qPrintable(run.story()));
        QVERIFY2(!run.errorLines().isEmpty() && allDistinct(run.errorLines()),
                 qPrintable(run.story()));
        QVERIFY2(run.errorLines().size() <= 2, qPrintable(run.story()));

        server.setDevices("B\tdevice\n");
        QVERIFY(server.listen());
        QTRY_VERIFY_WITH_TIMEOUT(run.standardOutput().endsWith(QStringLiteral("B\tdevice\n")),
                                 5000);
        QCOMPARE(run.status, -1);
    }

    // A server that answers, then breaks the protocol each time: it runs,
    // so none is started; the break is said once, the phone printed once.
    void aServerBreakingItsProtocolIsToldOnce() {
        FakeAdbServer server;
        server.setReply("host:track-devices",
                        {"OKAY" + FakeAdbServer::frame("A\tdevice\n") + "zzzz", true});
        QVERIFY(server.listen());
        WatchRun run(server);
        run.verb.start();
        QTRY_VERIFY_WITH_TIMEOUT(server.requests().count("host:track-devices") >= 8, 5000);

        QCOMPARE(run.standardOutput(), QStringLiteral("A\tdevice\n"));
        QCOMPARE(run.startServerRuns(), 0);
        QCOMPARE(run.errorLines(),
                 QStringList{QStringLiteral("Error: the adb server at %1 cannot be followed: the "
                                            "adb server sent a length that is not four hex "
                                            "digits.")
                                 .arg(server.address().text())});
        QCOMPARE(run.status, -1);
    }
};

QTEST_GUILESS_MAIN(WatchVerbTest)
#include "test_watch_verb.moc"
