// Asking the maker's web site whether a newer version of the program exists.
#include "gui/AppDelegate.h"

#include <QCoro/QCoroTask>
#include <QLabel>
#include <QMainWindow>

#include <memory>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

QCoro::Task<int> AppDelegate::checkForUpdate() {
    const UpdateVerdict verdict = co_await checkAndOfferUpdate();
    co_return verdict.cancelled ? UpdateResult::Failed : verdict.result;
}

// A check ended by Quit comes back cancelled: Qt reports an abort and a
// time-out alike, so only the checker's own flag tells them apart.
QCoro::Task<UpdateVerdict> AppDelegate::checkAndOfferUpdate() {
    UpdateVerdict verdict = co_await updates_.check();
    if (quitting_)
        verdict.cancelled = true;
    if (verdict.cancelled)
        co_return verdict;
    if (verdict.result == UpdateResult::NewerVersion)
        showNewVersionDialog(verdict.downloadAddress);
    co_return verdict;
}

void AppDelegate::onCheckForUpdateMenu() {
    if (quitting_ || menuCheckRunning_ || session_.isBusy())
        return;
    runMenuUpdateCheck();
}

// A check already under way (the one at start-up) is joined: the menu still
// owes the user its own answer, and the start-up check then stays quiet.
QCoro::Task<void> AppDelegate::runMenuUpdateCheck() {
    menuCheckRunning_ = true;
    refreshControls();
    const UpdateVerdict verdict = co_await checkAndOfferUpdate();
    menuCheckRunning_ = false;
    if (quitting_ || verdict.cancelled)
        co_return;
    refreshControls();
    if (verdict.result == UpdateResult::UpToDate)
        desktop_.runAlert(window, Alert{u"You already have the latest version."_s, QString()});
    else if (verdict.result == UpdateResult::Failed)
        desktop_.runAlert(window, Alert{u"Failed to check updates."_s, verdict.failureText});
}

// The start-up check never holds the window: the reply is handled whenever it
// arrives, and only a newer version is worth interrupting the user for.
void AppDelegate::startBackgroundUpdateCheck() {
    runBackgroundUpdateCheck();
}

QCoro::Task<void> AppDelegate::runBackgroundUpdateCheck() {
    const UpdateVerdict verdict = co_await updates_.check();
    // A menu check that joined this one shows the answer itself.
    if (verdict.cancelled || quitting_ || menuCheckRunning_)
        co_return;
    if (verdict.result == UpdateResult::NewerVersion)
        offerNewVersionWhenIdle(verdict.downloadAddress);
}

void AppDelegate::offerNewVersionWhenIdle(const QString& downloadAddress) {
    // Not in the middle of a device flow: right after it instead.
    if (session_.isBusy())
        pendingOffer_ = downloadAddress;
    else
        showNewVersionDialog(downloadAddress);
}

void AppDelegate::showNewVersionDialog(const QString& downloadAddress) {
    // Once Quit or closing has begun nothing new opens: a modal dialog would
    // hold the program up inside its own quit. A pending offer goes with it.
    if (quitting_)
        return;
    // Lives only while the dialog is shown.
    auto link = std::make_unique<QLabel>();
    link->setMinimumSize(300, 48);
    setUpdateHyperlinkWithTextField(link.get(), downloadAddress);
    desktop_.runAlert(window, Alert{QStringLiteral("A new version of Ostrel Dravik is available."),
                                    QStringLiteral("You can download this version using the link:"),
                                    {QStringLiteral("OK")},
                                    link.get()});
}

} // namespace ostrel
