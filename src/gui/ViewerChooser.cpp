// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ViewerChooser.h"

#include "core/settings/SessionSettings.h"
#include "core/text/VisibleText.h"

#include <QFileInfo>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

ViewerChooser::ViewerChooser(WindowContext context, SessionSettings& settings, QObject* parent)
    : QObject(parent), context_(std::move(context)), settings_(settings) {}

QString ViewerChooser::chosenViewer() const {
    return settings_.chosenViewer();
}

void ViewerChooser::onChooseViewerMenu() {
    if (!context_.idle())
        return;
    const QString current = chosenViewer();
    FileChoice choice;
    choice.title = u"Choose VNC Viewer"_s;
    choice.acceptLabel = u"Select Viewer"_s;
    if (!current.isEmpty())
        choice.startDirectory = QFileInfo(current).absolutePath();
    QString chosen = context_.desktop.chooseFile(context_.window, choice);
    if (context_.quitting())
        return;
    if (chosen.isEmpty()) {
        // The chooser has no empty choice of its own: the only way back to
        // the automatic order is to forget the one chosen.
        if (current.isEmpty())
            return;
        const int answer = context_.desktop.runAlert(
            context_.window, Alert{u"Forget the chosen VNC viewer?"_s,
                                   u"View then opens the desktop's viewer, or one it finds, "
                                   "instead of %1."_s.arg(visibleText(current)),
                                   {u"Keep"_s, u"Forget"_s}});
        if (answer != 2)
            return;
    }
    qInfo("select viewer: %s", qUtf8Printable(visibleText(chosen)));
    const QString failure = settings_.storeChosenViewer(chosen);
    if (!failure.isEmpty())
        context_.desktop.runAlert(context_.window,
                                  Alert{u"The chosen viewer could not be saved."_s, failure});
}

} // namespace ostrel
