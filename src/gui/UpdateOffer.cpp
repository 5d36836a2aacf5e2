// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/UpdateOffer.h"

#include "core/SiteAddresses.h"
#include "gui/LinkField.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QLabel>

#include <memory>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

UpdateOffer::UpdateOffer(WindowContext context, const QUrl& siteUrl,
                         std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent), context_(std::move(context)),
      updates_(updateEndpointUrl(siteUrl), QCoreApplication::applicationVersion(), timeout) {}

void UpdateOffer::cancel() {
    updates_.cancel();
}

// Qt reports an abort and a time-out alike, so only the checker's own flag,
// or the quit itself, tells a check called off from one that failed.
QCoro::Task<UpdateVerdict> UpdateOffer::checkForUpdate() {
    UpdateVerdict verdict = co_await updates_.check();
    if (context_.quitting())
        verdict.cancelled = true;
    if (verdict.cancelled)
        co_return verdict;
    if (verdict.result == UpdateResult::NewerVersion)
        showNewVersionDialog(verdict.downloadAddress);
    co_return verdict;
}

void UpdateOffer::onCheckForUpdateMenu() {
    if (!context_.idle() || menuCheckRunning_)
        return;
    runMenuUpdateCheck();
}

void UpdateOffer::setMenuCheckRunning(bool running) {
    menuCheckRunning_ = running;
    Q_EMIT menuCheckRunningChanged();
}

// A check already under way (the one at start-up) is joined: the menu still
// owes the user its own answer, and the start-up check then stays quiet.
QCoro::Task<void> UpdateOffer::runMenuUpdateCheck() {
    setMenuCheckRunning(true);
    const UpdateVerdict verdict = co_await checkForUpdate();
    setMenuCheckRunning(false);
    if (context_.quitting() || verdict.cancelled)
        co_return;
    if (verdict.result == UpdateResult::UpToDate)
        context_.desktop.runAlert(context_.window,
                                  Alert{u"You already have the latest version."_s, QString()});
    else if (verdict.result == UpdateResult::Failed)
        context_.desktop.runAlert(context_.window,
                                  Alert{u"Failed to check updates."_s, verdict.failureText});
}

// The start-up check never holds the window: the reply is handled whenever it
// arrives, and only a newer version is worth interrupting the user for.
void UpdateOffer::startBackgroundUpdateCheck() {
    runBackgroundUpdateCheck();
}

QCoro::Task<void> UpdateOffer::runBackgroundUpdateCheck() {
    const UpdateVerdict verdict = co_await updates_.check();
    // A menu check that joined this one shows the answer itself.
    if (verdict.cancelled || context_.quitting() || menuCheckRunning_)
        co_return;
    if (verdict.result == UpdateResult::NewerVersion)
        offerNewVersionWhenIdle(verdict.downloadAddress);
}

void UpdateOffer::offerNewVersionWhenIdle(const QString& downloadAddress) {
    // Not in the middle of a device flow: right after it instead.
    if (context_.idle())
        showNewVersionDialog(downloadAddress);
    else
        heldBackOffer_ = downloadAddress;
}

void UpdateOffer::showHeldBackOffer() {
    if (!heldBackOffer_.isEmpty())
        showNewVersionDialog(std::exchange(heldBackOffer_, QString()));
}

void UpdateOffer::showNewVersionDialog(const QString& downloadAddress) {
    // Once Quit or closing has begun nothing new opens: a modal dialog would
    // hold the program up inside its own quit. A held-back offer goes with it.
    if (context_.quitting())
        return;
    // Lives only while the dialog is shown.
    auto link = std::make_unique<QLabel>();
    link->setMinimumSize(300, 48);
    setUpdateHyperlinkWithTextField(link.get(), downloadAddress, context_.desktop);
    context_.desktop.runAlert(context_.window,
                              Alert{QStringLiteral("A new version of Ostrel Dravik is available."),
                                    QStringLiteral("You can download this version using the link:"),
                                    {QStringLiteral("OK")},
                                    link.get()});
}

} // namespace ostrel
