// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

namespace ostrel {

// A modal message: its buttons, first one the default, and an optional widget
// shown under the texts. runAlert answers 1 for the first button, 2 for the
// second, and 0 when the dialog was closed otherwise.
struct Alert {
    QString messageText;
    QString informativeText;
    QStringList buttons{QStringLiteral("OK")};
    QWidget* accessory = nullptr;    // stays the caller's; shown while the alert runs
    QWidget* initialFocus = nullptr; // receives the keyboard focus when shown
};

struct FileChoice {
    QString title;
    QString acceptLabel;
    QString startDirectory; // empty: the platform's default
};

// Everything that blocks on the user or leaves the program: tests replace it so
// that no test ever waits on a modal window or opens a browser.
class Desktop {
public:
    virtual ~Desktop() = default;

    virtual int runAlert(QWidget* parent, const Alert& alert) = 0;
    // Hands `url` to the user's application for it. When none could open it,
    // now or once the desktop knows, the user is told through showOpenFailure.
    virtual void openUrl(const QUrl& url) = 0;
    // An existing file, or an empty string when the user cancelled.
    virtual QString chooseFile(QWidget* parent, const FileChoice& choice) = 0;
    virtual void quitApplication() = 0;

    // The same words whichever desktop found that the address did not open.
    void showOpenFailure(const QUrl& url) {
        runAlert(QApplication::activeWindow(),
                 Alert{QStringLiteral("The address could not be opened."),
                       QStringLiteral("No application could open %1").arg(url.toDisplayString())});
    }
};

} // namespace ostrel
