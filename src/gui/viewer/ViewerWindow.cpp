// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/viewer/ViewerWindow.h"

namespace ostrel {

// A placeholder until the window is drawn: it keeps its promises' shape only.
ViewerWindow::ViewerWindow(const QString& title, const QString& host, quint16 port,
                           QWidget* parent)
    : QWidget(parent) {
    setWindowTitle(title);
    Q_UNUSED(host);
    Q_UNUSED(port);
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::connectToServer() {}

bool ViewerWindow::isShowingScreen() const {
    return false;
}

} // namespace ostrel
