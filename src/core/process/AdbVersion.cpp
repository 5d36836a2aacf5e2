// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/AdbVersion.h"
#include <QCoro/QCoroTask>

#include "core/process/CommandRunner.h"
#include "core/text/VisibleText.h"

#include <QStringList>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qsizetype MaxVersionLength = 200;

QString firstPrintableLine(const QByteArray& output) {
    const QString line = QString::fromUtf8(output.left(4 * MaxVersionLength)).section(u'\n', 0, 0);
    QString printable;
    for (const QChar c : line)
        printable.append(c.isPrint() ? c : u' ');
    return printable.simplified().left(MaxVersionLength);
}

QString whyNoVersion(const AdbRun& run) {
    if (!run.finished())
        return visibleText(run.errorText); // it names the path
    if (run.exitCode != 0)
        return u"adb version ended with exit code %1"_s.arg(run.exitCode);
    return u"adb version printed nothing"_s;
}

} // namespace

// A file's name may hold controls as any outside text may.
QString adbInEffectText(const QString& chosen, const QString& found) {
    if (!chosen.isEmpty())
        return u"adb in effect: %1 (your choice)"_s.arg(visibleText(chosen));
    if (!found.isEmpty())
        return u"adb in effect: %1 (found on this computer)"_s.arg(visibleText(found));
    return u"No adb was found: choose one with the adb button."_s;
}

AdbVersionAnswer adbVersionAnswer(const AdbRun& run) {
    const QString line = run.succeeded() ? firstPrintableLine(run.standardOutput) : QString();
    if (!line.isEmpty())
        return {true, line};
    return {false, whyNoVersion(run)};
}

std::optional<QString> AdbVersionProbe::known(const QString& adb) const {
    if (last_ && last_->adb == adb && last_->done.isSet() && last_->answer.known)
        return last_->answer.text;
    return std::nullopt;
}

QCoro::Task<AdbVersionAnswer> AdbVersionProbe::ask(QString adb) {
    const bool reusable =
        last_ && last_->adb == adb && (!last_->done.isSet() || last_->answer.known);
    if (!reusable) {
        last_ = std::make_shared<Pending>();
        last_->adb = adb;
        runQuestion(runner_, last_);
    }
    const std::shared_ptr<Pending> pending = last_;
    co_await pending->done;
    // QCoro moves what co_return names: a copy keeps the answer for the next asker.
    AdbVersionAnswer answer = pending->answer;
    co_return answer;
}

QCoro::Task<void> AdbVersionProbe::runQuestion(CommandRunner& runner,
                                               std::shared_ptr<Pending> pending) {
    const QStringList arguments{u"version"_s};
    const AdbRun run = co_await runner.run(pending->adb, arguments, AdbVersionTimeLimit);
    pending->answer = adbVersionAnswer(run);
    pending->done.set();
}

} // namespace ostrel
