// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/session/PhoneButtons.h"

#include <QWidget>

namespace ostrel {

// The column of buttons beside the phone's screen: the phone's own buttons,
// then what the desktop does with the screen.
class PhoneToolbar : public QWidget {
    Q_OBJECT

public:
    explicit PhoneToolbar(QWidget* parent = nullptr);

    // The object name of `button`'s tool button, for tests and style sheets.
    static QString objectNameFor(PhoneButton button);

Q_SIGNALS:
    void phoneButtonClicked(PhoneButton button);
    void screenshotClicked();
    void pasteClicked();
};

} // namespace ostrel
