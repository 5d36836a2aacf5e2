// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/viewer/PhoneToolbar.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr PhoneButton PhoneButtonsInOrder[] = {PhoneButton::Back,     PhoneButton::Home,
                                               PhoneButton::Recents,  PhoneButton::Power,
                                               PhoneButton::VolumeUp, PhoneButton::VolumeDown};

QToolButton* toolButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(text);
    button->setObjectName(name);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The screen keeps the keyboard: a click here must not take it away.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

QString PhoneToolbar::objectNameFor(PhoneButton button) {
    QString name = phoneButtonName(button);
    name.remove(u' ');
    return u"phone"_s + name + u"Button"_s;
}

PhoneToolbar::PhoneToolbar(QWidget* parent) : QWidget(parent) {
    setObjectName(u"phoneToolbar"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    for (const PhoneButton button : PhoneButtonsInOrder) {
        QToolButton* tool =
            toolButton(tr(qPrintable(phoneButtonName(button))), objectNameFor(button), this);
        connect(tool, &QToolButton::clicked, this,
                [this, button] { Q_EMIT phoneButtonClicked(button); });
        layout->addWidget(tool);
    }
    layout->addSpacing(12);
    QToolButton* screenshot = toolButton(tr("Screenshot"), u"screenshotButton"_s, this);
    connect(screenshot, &QToolButton::clicked, this, &PhoneToolbar::screenshotClicked);
    layout->addWidget(screenshot);
    QToolButton* paste = toolButton(tr("Paste"), u"pasteButton"_s, this);
    paste->setToolTip(tr("Paste the desktop's text to the phone"));
    connect(paste, &QToolButton::clicked, this, &PhoneToolbar::pasteClicked);
    layout->addWidget(paste);
    layout->addStretch(1);
}

} // namespace ostrel
