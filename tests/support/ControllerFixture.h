#pragma once

#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "support/FakeDesktop.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace ostrel::test {

// Waits short enough for tests, long enough for a real child process.
Waits fastWaits();

// The argument lists a stand-in adb logged, one invocation a line, each
// argument followed by the unit separator 0x1f.
QList<QStringList> readArgumentLog(const QString& logPath);

// A stand-in adb: a shell script that logs its argument vector and prints
// what the test gave it.
class FakeAdb {
public:
    explicit FakeAdb(const QString& directory);

    QString path() const { return path_; }
    void setStandardOutput(const QByteArray& bytes);
    void setStandardError(const QByteArray& bytes);
    void setExitCode(int code);
    void setSleepSeconds(double seconds);
    // Every invocation so far, each as its exact argument list.
    QList<QStringList> invocations() const;

private:
    void writeFile(const QString& name, const QByteArray& bytes) const;

    QString directory_;
    QString path_;
};

// A controller on a real, offscreen main window, with its settings in a
// temporary folder and its desktop replaced.
class ControllerFixture {
public:
    explicit ControllerFixture(Waits waits = fastWaits(),
                               QUrl site = QUrl(QStringLiteral("http://127.0.0.1:9")),
                               bool awake = true);
    ~ControllerFixture();

    // Makes the controller run `adbPath`, as a user's choice would.
    void chooseAdb(const QString& adbPath);
    QString consoleText() const;

    QTemporaryDir directory;
    FakeDesktop desktop;
    std::unique_ptr<AppDelegate> controller;
    std::unique_ptr<MainWindow> window;
};

// Points the per-user settings of this process at `directory`.
void useSettingsIn(const QString& directory);

} // namespace ostrel::test
