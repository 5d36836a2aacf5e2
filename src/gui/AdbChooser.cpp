// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AdbChooser.h"

#include "core/settings/SessionSettings.h"
#include "core/text/VisibleText.h"

#include <QCoro/QCoroTask>
#include <QFileInfo>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

FileChoice adbFileChoice(const QString& adbInEffect) {
    FileChoice choice;
    choice.title = QStringLiteral("Choose adb");
    choice.acceptLabel = QStringLiteral("Select adb");
    if (!adbInEffect.isEmpty())
        choice.startDirectory = QFileInfo(adbInEffect).absolutePath();
    return choice;
}

QString withVersion(const QString& inEffect, const QString& versionLine) {
    return inEffect + u'\n' + versionLine;
}

} // namespace

AdbChooser::AdbChooser(WindowContext context, CommandRunner& runner, SessionSettings& settings,
                       QString launcherFolder, QObject* parent)
    : QObject(parent), context_(std::move(context)), settings_(settings), adbVersions_(runner),
      lookup_([this] { return chosenAdb(); }, std::move(launcherFolder)) {}

QString AdbChooser::chosenAdb() const {
    return chosenAdb_.isEmpty() ? settings_.chosenAdb() : chosenAdb_;
}

void AdbChooser::onAdbButtonClicked() {
    if (!context_.idle())
        return;
    const QString chosen =
        context_.desktop.chooseFile(context_.window, adbFileChoice(adbInEffect()));
    if (chosen.isEmpty())
        return; // cancelled: nothing changes
    qInfo("select file: %s", qUtf8Printable(visibleText(chosen)));
    chosenAdb_ = chosen;
    const QString failure = settings_.storeChosenAdb(chosen);
    if (!failure.isEmpty()) {
        context_.desktop.runAlert(
            context_.window, Alert{QStringLiteral("The chosen adb could not be saved."), failure});
    }
}

QString AdbChooser::adbInEffectDescription() const {
    const QString chosen = chosenAdb();
    // With nothing chosen, the adb in effect is the one the search finds.
    return adbInEffectText(chosen, chosen.isEmpty() ? lookup_.path() : QString());
}

// The version is asked only when someone wants to see it, never while a flow
// runs (the flows' commands go one at a time) and never in the window's way.
void AdbChooser::describeAdb(const std::function<void(const QString&)>& show) {
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
    if (!context_.idle()) {
        show(withVersion(inEffect, u"Version not asked while adb is busy."_s));
        return;
    }
    show(withVersion(inEffect, u"Asking adb for its version\u2026"_s));
    describeAdbVersionWhenAnswered(adb, inEffect, show);
}

// The text keeps naming the adb that was asked, even if another was chosen since.
QCoro::Task<void>
AdbChooser::describeAdbVersionWhenAnswered(QString adb, QString inEffect,
                                           std::function<void(const QString&)> show) {
    const AdbVersionAnswer answer = co_await adbVersions_.ask(adb);
    if (context_.quitting())
        co_return;
    const QString version =
        answer.known ? answer.text : u"Version not known: %1"_s.arg(answer.text);
    show(withVersion(inEffect, version));
}

} // namespace ostrel
