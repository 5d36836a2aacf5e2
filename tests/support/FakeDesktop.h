// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/Desktop.h"

#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QUrl>
#include <QWidget>

#include <functional>

namespace ostrel::test {

// Stands in for the desktop: records what the program asked of it and answers
// dialogs from a script instead of waiting for a person.
class FakeDesktop : public Desktop {
public:
    struct ShownAlert {
        QString messageText;
        QString informativeText;
        QStringList buttons;
        bool hadAccessory = false;
        QString accessoryText; // the field's text as the program left it
        Qt::TextFormat accessoryFormat = Qt::AutoText;
        bool accessoryHadFocus = false;
    };

    // Answers the next alert; may edit the accessory (a QLineEdit or QLabel) first.
    std::function<int(const Alert&)> answerAlert = [](const Alert&) { return 1; };
    QString fileToChoose;   // empty: the user cancels
    bool openFails = false; // no application takes any address
    std::function<void()> onQuit;

    QList<ShownAlert> alerts;
    QList<QUrl> openedUrls;
    QList<FileChoice> fileChoices;
    int quitCount = 0;

    int runAlert(QWidget*, const Alert& alert) override {
        ShownAlert shown;
        shown.messageText = alert.messageText;
        shown.informativeText = alert.informativeText;
        shown.buttons = alert.buttons;
        shown.hadAccessory = alert.accessory != nullptr;
        if (auto* edit = qobject_cast<QLineEdit*>(alert.accessory))
            shown.accessoryText = edit->text();
        if (auto* label = qobject_cast<QLabel*>(alert.accessory)) {
            shown.accessoryText = label->text();
            shown.accessoryFormat = label->textFormat();
        }
        shown.accessoryHadFocus =
            alert.initialFocus != nullptr && alert.initialFocus == alert.accessory;
        alerts.append(shown);
        return answerAlert(alert);
    }
    void openUrl(const QUrl& url) override {
        openedUrls.append(url);
        if (openFails)
            showOpenFailure(url);
    }
    QString chooseFile(QWidget*, const FileChoice& choice) override {
        fileChoices.append(choice);
        return fileToChoose;
    }
    void quitApplication() override {
        ++quitCount;
        if (onQuit)
            onQuit();
    }
};

} // namespace ostrel::test
