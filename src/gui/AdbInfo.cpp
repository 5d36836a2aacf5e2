// Telling the user which adb the program runs and what version it is. The
// version is asked only when someone wants to see it, never while a flow runs
// (the flows' commands go one at a time) and never in the window's way.
#include "core/settings/AdbSetting.h"
#include "gui/AppDelegate.h"

#include <QCoro/QCoroTask>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

QString withVersion(const QString& inEffect, const QString& versionLine) {
    return inEffect + u'\n' + versionLine;
}

} // namespace

QString AppDelegate::adbInEffectDescription() const {
    const QString chosen = chosenAdb_.isEmpty() ? chosenAdbSetting() : chosenAdb_;
    // With nothing chosen, the adb in effect is the one the search finds.
    return adbInEffectText(chosen, chosen.isEmpty() ? getAdbPath() : QString());
}

void AppDelegate::describeAdb(const std::function<void(const QString&)>& show) {
    const QString inEffect = adbInEffectDescription();
    const QString adb = adbInEffect();
    if (adb.isEmpty()) {
        show(inEffect);
        return;
    }
    if (const std::optional<QString> version = adbVersions_.known(adb)) {
        show(withVersion(inEffect, *version));
        return;
    }
    if (quitting_ || session_.isBusy()) {
        show(withVersion(inEffect, u"Version not asked while adb is busy."_s));
        return;
    }
    show(withVersion(inEffect, u"Asking adb for its version\u2026"_s));
    describeAdbVersionWhenAnswered(adb, inEffect, show);
}

// The text keeps naming the adb that was asked, even if another was chosen since.
QCoro::Task<void>
AppDelegate::describeAdbVersionWhenAnswered(QString adb, QString inEffect,
                                            std::function<void(const QString&)> show) {
    const AdbVersionAnswer answer = co_await adbVersions_.ask(adb);
    if (quitting_)
        co_return;
    const QString version =
        answer.known ? answer.text : u"Version not known: %1"_s.arg(answer.text);
    show(withVersion(inEffect, version));
}

} // namespace ostrel
