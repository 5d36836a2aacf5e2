// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace ostrel::e2e {

class SimulatedPhone;

// What one adb command printed and how it ended.
struct AdbOutput {
    bool finished = false; // false: it did not start or outlived its time
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
};

// A private adb server for one test: while the scope lives, this process (and
// every adb child it starts, the program's included) talks to an adb server
// on a free port with its own HOME, so the default server on 5037 and any real
// phone are never touched. The scope kills that server when it ends and puts
// the environment back.
class AdbServerScope {
public:
    AdbServerScope();
    ~AdbServerScope();
    AdbServerScope(const AdbServerScope&) = delete;
    AdbServerScope& operator=(const AdbServerScope&) = delete;

    // The adb the program would find by itself; empty when there is none.
    QString adbPath() const { return adbPath_; }
    quint16 serverPort() const { return serverPort_; }
    // Empty when the scope is usable, otherwise why not.
    QString problem() const;

    AdbOutput run(const QStringList& arguments, int timeoutMs = 20000) const;
    // Connects the phone and waits until `adb devices` lists it in `state`
    // ("device" or "unauthorized"). On failure returns false and says why.
    bool connect(const SimulatedPhone& phone, const QString& state = QStringLiteral("device"),
                 QString* error = nullptr) const;
    // `adb -s SERIAL shell COMMAND...` on that phone.
    AdbOutput shell(const SimulatedPhone& phone, const QStringList& command) const;
    // The lines of `adb devices` after its heading.
    QStringList deviceLines() const;
    // Whether an adb server answers on this scope's port.
    bool serverAnswers() const;
    // The server's own log, for failure messages.
    QString serverLog() const;

private:
    void setVariable(const char* name, const QByteArray& value);
    void unsetVariable(const char* name);

    QTemporaryDir home_;
    QString adbPath_;
    quint16 serverPort_ = 0;
    QList<std::pair<QByteArray, std::optional<QByteArray>>> savedVariables_;
};

} // namespace ostrel::e2e
