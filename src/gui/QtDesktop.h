// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/Desktop.h"

#include <QObject>

namespace ostrel {

// The real desktop: Qt dialogs, the desktop's URL handlers, the application's quit.
class QtDesktop : public Desktop {
public:
    int runAlert(QWidget* parent, const Alert& alert) override;
    void openUrl(const QUrl& url) override;
    QString chooseFile(QWidget* parent, const FileChoice& choice) override;
    void quitApplication() override;

private:
    void openWithXdgOpen(const QUrl& url);

    QObject openers_; // the address openers still running; they go with the desktop
};

} // namespace ostrel
