// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

namespace ostrel {

// The window's central view: it only holds the controls.
class MainView : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
};

} // namespace ostrel
