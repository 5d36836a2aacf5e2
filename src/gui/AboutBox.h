// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QLabel;
class QWidget;

namespace ostrel {

class Desktop;

// What the About box says; kept apart from the widgets so it reads as text.
struct AboutText {
    QString title;
    QString body;
    QString linkHtml; // the site as one escaped link, for a rich-text label
};

AboutText aboutText(const QString& version, const QUrl& site);

// Is handed the About box's plain-text label about adb, to fill now and again
// while the box is up; the label is gone once the box closes.
using AdbLabelFiller = std::function<void(QLabel* label)>;

// Shows the About box through the desktop; a click on the link opens the site
// through the desktop as well.
void showAbout(Desktop& desktop, QWidget* parent, const QUrl& site, const AdbLabelFiller& fillAdb);

} // namespace ostrel
