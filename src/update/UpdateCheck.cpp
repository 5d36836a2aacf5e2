// Asking the maker's web site whether a newer version of the program exists.
#include "app/AppDelegate.h"
#include "update/UpdateFetch.h"
#include "update/UpdateReply.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QNetworkAccessManager>

namespace ostrel {

namespace {

QString ownVersion() {
    return QCoreApplication::applicationVersion();
}

} // namespace

int AppDelegate::checkForUpdate() {
    const std::optional<QByteArray> body =
        fetchUpdateReplyAndWait(updateNetwork(), updateEndpointUrl(siteUrl_), waits_.updateTimeout);
    const UpdateVerdict verdict = judgeUpdateReply(body, ownVersion());
    if (verdict.result == UpdateResult::NewerVersion)
        showNewVersionDialog(verdict.downloadAddress);
    return verdict.result;
}

void AppDelegate::onCheckForUpdateMenu() {
    runUserAction([this] {
        const int result = checkForUpdate();
        if (result == UpdateResult::UpToDate)
            desktop_.runAlert(window, Alert{QStringLiteral("You already have the latest version."),
                                            QStringLiteral("")});
        else if (result == UpdateResult::Failed)
            desktop_.runAlert(window, Alert{QStringLiteral("Failed to check updates."), {}});
    });
}

// The start-up check never holds the window: the reply is handled whenever it
// arrives, and only a newer version is worth interrupting the user for.
void AppDelegate::startBackgroundUpdateCheck() {
    fetchUpdateReply(updateNetwork(), updateEndpointUrl(siteUrl_), waits_.updateTimeout, this,
                     [this](const std::optional<QByteArray>& body) {
                         const UpdateVerdict verdict = judgeUpdateReply(body, ownVersion());
                         if (verdict.result == UpdateResult::NewerVersion)
                             offerNewVersionWhenIdle(verdict.downloadAddress);
                     });
}

void AppDelegate::offerNewVersionWhenIdle(const QString& downloadAddress) {
    // Not in the middle of a device action: right after it instead.
    deferUntilIdle([this, downloadAddress] {
        runUserAction([this, downloadAddress] { showNewVersionDialog(downloadAddress); });
    });
}

void AppDelegate::showNewVersionDialog(const QString& downloadAddress) {
    // Lives only while the dialog is shown.
    auto link = std::make_unique<QLabel>();
    link->setMinimumSize(300, 48);
    setUpdateHyperlinkWithTextField(link.get(), downloadAddress);
    desktop_.runAlert(window, Alert{QStringLiteral("A new version of Ostrel Dravik is available."),
                                    QStringLiteral("You can download this version using the link:"),
                                    {QStringLiteral("OK")},
                                    link.get()});
}

QNetworkAccessManager& AppDelegate::updateNetwork() {
    if (!network_)
        network_ = std::make_unique<QNetworkAccessManager>();
    return *network_;
}

} // namespace ostrel
