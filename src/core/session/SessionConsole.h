// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/session/ConsoleMessage.h"

#include <QObject>
#include <QString>
#include <QUrl>

namespace ostrel {

// Everything the session tells the user passes here: untrusted text is
// shaped, a failure always starts a line of its own, and a cancelled flow has
// nobody left to tell.
class SessionConsole : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    void say(const QString& text, MessageKind kind = MessageKind::Progress);
    void sayLink(const QString& description, const QUrl& url, MessageKind kind);
    // The console was emptied: the next text begins a line of its own.
    void cleared() { atLineStart_ = true; }
    void setSilenced(bool silenced) { silenced_ = silenced; }
    bool silenced() const { return silenced_; }

Q_SIGNALS:
    void consoleText(const QString& text, ostrel::MessageKind kind);
    void consoleLink(const QString& description, const QUrl& url, ostrel::MessageKind kind);

private:
    bool atLineStart_ = true; // whether the last text ended its line
    bool silenced_ = false;
};

} // namespace ostrel
