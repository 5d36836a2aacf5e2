// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/session/BuiltInViewer.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

namespace ostrel {

class Keychain;
class ViewerWindow;

// View's windows of the program's own: one a phone, by serial, each a
// top-level window of its own that is deleted once closed.
class ViewerWindows : public QObject, public BuiltInViewer {
    Q_OBJECT

public:
    explicit ViewerWindows(QObject* parent = nullptr);
    ~ViewerWindows() override;

    bool raiseOpenView(const ViewedPhone& phone, SessionConsole& console) override;
    QCoro::Task<Step<bool>> open(ViewedPhone phone, LocalPair pair,
                                 SessionConsole& console) override;
    // Opening a window never waits: there is nothing to end.
    void cancel() override {}
    QCoro::Task<ViewerWindowEnd> windowEnd(QString serial) override;
    void closeAll() override;
    void runAdbWith(CommandRunner& runner, AdbLookup adb) override;
    // Where the windows opened from now on remember passwords; it outlives
    // them. Without one, a password is asked for every time.
    void rememberPasswordsIn(Keychain& keychain) { keychain_ = &keychain; }

    // The window open for `serial`; null when none is.
    ViewerWindow* windowOf(const QString& serial) const;

private:
    struct Ending;
    struct Shown {
        QPointer<ViewerWindow> window;
        std::shared_ptr<Ending> ending;
    };

    void follow(const QString& serial, ViewerWindow* window, const std::shared_ptr<Ending>& ending);
    static void end(Ending& ending, ViewerWindowEnd how);

    QHash<QString, Shown> shown_;
    CommandRunner* runner_ = nullptr;
    std::optional<AdbLookup> adb_;
    Keychain* keychain_ = nullptr;
};

} // namespace ostrel
