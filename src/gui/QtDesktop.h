#pragma once

#include "gui/Desktop.h"

namespace ostrel {

// The real desktop: Qt dialogs, the desktop's URL handlers, the application's quit.
class QtDesktop : public Desktop {
public:
    int runAlert(QWidget* parent, const Alert& alert) override;
    void openUrl(const QUrl& url) override;
    QString chooseFile(QWidget* parent, const FileChoice& choice) override;
    void quitApplication() override;
};

} // namespace ostrel
