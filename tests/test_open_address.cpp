// SPDX-License-Identifier: GPL-3.0-or-later
// The real desktop's address opener: its failure must reach the user, and a
// success must stay silent.
#include "gui/QtDesktop.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;

namespace {

// The real opener, with alerts recorded instead of shown.
class RecordingDesktop : public QtDesktop {
public:
    int runAlert(QWidget*, const Alert& alert) override {
        alerts.append(alert.messageText + u'|' + alert.informativeText);
        return 1;
    }
    QStringList alerts;
};

// Puts only `directory` on PATH for one test.
class PathOnly {
public:
    explicit PathOnly(const QString& directory) : saved_(qgetenv("PATH")) {
        qputenv("PATH", directory.toLocal8Bit());
    }
    ~PathOnly() { qputenv("PATH", saved_); }

private:
    QByteArray saved_;
};

void writeOpener(const QString& path, int exitCode, const QString& logPath) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > '%1'\nexit %2\n")
                   .arg(logPath)
                   .arg(exitCode)
                   .toUtf8());
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
}

} // namespace

class OpenAddressTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reportsWhatTheOpenerSays_data() {
        QTest::addColumn<int>("exitCode"); // -1: no opener at all
        QTest::addColumn<bool>("reported");
        QTest::newRow("opened") << 0 << false;
        QTest::newRow("no application for it") << 3 << true;
        QTest::newRow("no opener") << -1 << true;
    }

    void reportsWhatTheOpenerSays() {
        QFETCH(int, exitCode);
        QFETCH(bool, reported);
        QTemporaryDir directory;
        const QString log = directory.filePath(QStringLiteral("opened"));
        if (exitCode >= 0)
            writeOpener(directory.filePath(QStringLiteral("xdg-open")), exitCode, log);
        PathOnly path(directory.path());
        RecordingDesktop desktop;
        const QUrl address(QStringLiteral("https://h.example/a b?x=1"));

        desktop.openUrl(address);

        QVERIFY(desktop.alerts.isEmpty()); // the opener is never waited for in place
        const QString expected = QStringLiteral("The address could not be opened.|No application "
                                                "could open https://h.example/a b?x=1");
        if (reported)
            QTRY_COMPARE(desktop.alerts, QStringList{expected});
        if (exitCode >= 0)
            QTRY_VERIFY(QFile::exists(log));
        QTest::qWait(100);
        QCOMPARE(desktop.alerts.size(), reported ? 1 : 0);
        if (exitCode >= 0) {
            QFile opened(log);
            QVERIFY(opened.open(QIODevice::ReadOnly));
            QCOMPARE(opened.readAll(), QByteArray("https://h.example/a%20b?x=1"));
        }
    }
};

QTEST_MAIN(OpenAddressTest)
#include "test_open_address.moc"
