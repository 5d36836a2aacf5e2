// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Waits.h"
#include "core/process/AdbRun.h"
#ifndef Q_MOC_RUN // moc cannot read the standard coroutine headers
#include "core/process/AsyncEvent.h"
#endif

#include <QCoro/QCoroFwd>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace ostrel {

class CommandRunner;

// Which adb the program runs and why, in the user's words: the chosen one wins,
// then the one found; `found` is only looked at when nothing was chosen.
QString adbInEffectText(const QString& chosen, const QString& found);

// What `adb version` told, as one line of plain text.
struct AdbVersionAnswer {
    bool known = false;
    QString text; // the first line adb printed, or why there is none
};

// Untrusted output: only the first line counts, control characters go and the
// length is capped.
AdbVersionAnswer adbVersionAnswer(const AdbRun& run);

// Asks an adb for its version, once per path while the answers are good; a
// question asked while the same one is under way joins it.
class AdbVersionProbe {
public:
    explicit AdbVersionProbe(CommandRunner& runner) : runner_(runner) {}

    // The good answer already had for `adb`, if any.
    std::optional<QString> known(const QString& adb) const;
    QCoro::Task<AdbVersionAnswer> ask(QString adb);

private:
    struct Pending {
        QString adb;
        AdbVersionAnswer answer;
        AsyncEvent done;
    };
    // Touches only what it shares with the probe, so that a probe gone
    // meanwhile is no harm.
    static QCoro::Task<void> runQuestion(CommandRunner& runner, std::shared_ptr<Pending> pending);

    CommandRunner& runner_;
    std::shared_ptr<Pending> last_;
};

} // namespace ostrel
