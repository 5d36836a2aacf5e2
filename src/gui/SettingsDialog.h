// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/WindowContext.h"

#include <QDialog>
#include <QPointer>

class QRadioButton;

namespace ostrel {

class SessionSettings;

// The program's settings, as the user changes them: where View shows a
// phone's screen. Kept when the dialog is accepted, forgotten when not.
class SettingsDialog : public QDialog {
    Q_OBJECT

public:
    SettingsDialog(WindowContext context, SessionSettings& settings, QWidget* parent = nullptr);

    // Shows the dialog with the settings as they are now. Never waits: the
    // choice is kept when the user accepts it.
    void showSettings();

private:
    void keepChoice();

    WindowContext context_;
    SessionSettings& settings_;
    QRadioButton* thisProgram_;
    QRadioButton* anotherViewer_;
};

} // namespace ostrel
