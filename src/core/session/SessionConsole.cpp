// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/SessionConsole.h"

#include "core/session/ConsoleText.h"

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

bool endsLine(const QString& text) {
    return text.endsWith(u'\n') || text.endsWith(u'\r');
}

} // namespace

void SessionConsole::say(const QString& text, MessageKind kind) {
    if (silenced_ || text.isEmpty())
        return;
    QString shown = shapeConsoleText(text);
    if (kind == MessageKind::Failure && !atLineStart_)
        shown.prepend(u"\r\n"_s);
    atLineStart_ = endsLine(shown);
    Q_EMIT consoleText(shown, kind);
}

void SessionConsole::sayLink(const QString& description, const QUrl& url, MessageKind kind) {
    if (silenced_)
        return;
    Q_EMIT consoleLink(description, url, kind);
    atLineStart_ = true; // every console ends a link's line
}

} // namespace ostrel
