// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/WindowContext.h"

#include <QObject>
#include <QString>

namespace ostrel {

class SessionSettings;

// Which VNC viewer View opens: the user's choice from the menu, stored for
// later runs, and the way back to the automatic order.
class ViewerChooser : public QObject {
    Q_OBJECT

public:
    ViewerChooser(WindowContext context, SessionSettings& settings, QObject* parent = nullptr);

    // The viewer the user chose; empty for the automatic order.
    QString chosenViewer() const;

    void onChooseViewerMenu();

private:
    WindowContext context_;
    SessionSettings& settings_;
};

} // namespace ostrel
