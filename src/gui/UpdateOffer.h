// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/update/UpdateChecker.h"
#include "gui/WindowContext.h"

#include <QCoro/QCoroFwd>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>

namespace ostrel {

// Asking the maker's web site whether a newer version of the program exists,
// and offering its download: from the menu, with an answer whatever it is,
// and at start-up, quietly unless there is something to offer.
class UpdateOffer : public QObject {
    Q_OBJECT

public:
    UpdateOffer(WindowContext context, const QUrl& siteUrl, std::chrono::milliseconds timeout,
                QObject* parent = nullptr);

    // The menu's check: asks the site and offers a newer version's download.
    // The verdict's result is UpdateResult's; a check ended by Quit comes
    // back cancelled.
    QCoro::Task<UpdateVerdict> checkForUpdate();
    void onCheckForUpdateMenu();
    bool menuCheckRunning() const { return menuCheckRunning_; }

    void startBackgroundUpdateCheck();
    // No device flow runs any more: an offer held back for it is shown now.
    void showHeldBackOffer();

    // Quit has begun: the check under way ends, and nothing more is shown.
    void cancel();

Q_SIGNALS:
    void menuCheckRunningChanged();

private:
    QCoro::Task<void> runMenuUpdateCheck();
    QCoro::Task<void> runBackgroundUpdateCheck();
    void setMenuCheckRunning(bool running);
    void offerNewVersionWhenIdle(const QString& downloadAddress);
    void showNewVersionDialog(const QString& downloadAddress);

    WindowContext context_;
    UpdateChecker updates_;
    bool menuCheckRunning_ = false;
    QString heldBackOffer_; // a newer version's address, shown once no flow runs
};

} // namespace ostrel
