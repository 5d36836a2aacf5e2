// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/SettingsDialog.h"

#include "core/settings/SessionSettings.h"
#include "core/settings/ViewPlace.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

SettingsDialog::SettingsDialog(WindowContext context, SessionSettings& settings, QWidget* parent)
    : QDialog(parent), context_(std::move(context)), settings_(settings),
      thisProgram_(new QRadioButton(u"This program"_s)),
      anotherViewer_(
          new QRadioButton(u"Another viewer (the chosen VNC viewer, else one found)"_s)) {
    setObjectName(u"settingsDialog"_s);
    setWindowTitle(u"Settings"_s);
    thisProgram_->setObjectName(u"viewInThisProgram"_s);
    anotherViewer_->setObjectName(u"viewInAnotherViewer"_s);
    auto* place = new QGroupBox(u"Open View in"_s);
    auto* choices = new QVBoxLayout(place);
    choices->addWidget(thisProgram_);
    choices->addWidget(anotherViewer_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(place);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::accepted, this, &SettingsDialog::keepChoice);
}

void SettingsDialog::showSettings() {
    if (context_.quitting())
        return;
    const bool here = viewPlaceOf(settings_) == ViewPlace::ThisProgram;
    (here ? thisProgram_ : anotherViewer_)->setChecked(true);
    // Window-modal and without an event loop of its own.
    open();
    raise();
    activateWindow();
}

void SettingsDialog::keepChoice() {
    if (context_.quitting())
        return;
    const ViewPlace chosen =
        thisProgram_->isChecked() ? ViewPlace::ThisProgram : ViewPlace::AnotherViewer;
    const QString failure = settings_.storeViewPlace(chosen);
    if (!failure.isEmpty())
        context_.desktop.runAlert(context_.window,
                                  Alert{u"The settings could not be saved."_s, failure});
}

} // namespace ostrel
