// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ConsoleFeed.h"

#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

namespace ostrel {

namespace {

// What the console inserts in one turn of the event loop.
constexpr int SliceLines = 1000;
constexpr qsizetype SliceCharacters = 32768;

// Shows the start of what was just appended. A selection the user is making
// is left alone: flows write while the user may be reading and copying.
void revealStart(QTextBrowser* view, int start) {
    if (view->textCursor().hasSelection())
        return;
    QTextCursor cursor(view->document());
    cursor.setPosition(start);
    view->setTextCursor(cursor);
    view->ensureCursorVisible();
}

int endPosition(QTextBrowser* view) {
    return view->document()->characterCount() - 1;
}

// Where the slice of `text` that begins at `from` ends: always just after a
// line end, and never between the CR and LF of one, which the document would
// take for two.
qsizetype sliceEnd(const QString& text, qsizetype from) {
    int lines = 0;
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool lineEnd =
            c == u'\n' || (c == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'));
        if (lineEnd && (++lines == SliceLines || i + 1 - from >= SliceCharacters))
            return i + 1;
    }
    return text.size();
}

} // namespace

ConsoleFeed::ConsoleFeed(QObject* parent) : QObject(parent) {
    next_.setSingleShot(true);
    next_.setTimerType(Qt::PreciseTimer);
    next_.setInterval(0);
    connect(&next_, &QTimer::timeout, this, [this] { insertNextSlice(); });
}

void ConsoleFeed::append(QTextBrowser* view, const AttributedString& text) {
    if (!view || text.text.isEmpty())
        return;
    if (view != view_) {
        view_ = view;
        pending_.clear();
        insertedUpTo_ = endPosition(view);
    }
    forgetIfCleared();
    pending_.append({text, 0});
    if (pending_.size() == 1)
        insertNextSlice();
}

// The user's Clear empties the view; what was waiting goes with it.
void ConsoleFeed::forgetIfCleared() {
    if (endPosition(view_) < insertedUpTo_)
        pending_.clear();
    insertedUpTo_ = endPosition(view_);
}

void ConsoleFeed::insertNextSlice() {
    if (!view_) {
        pending_.clear(); // the window is gone, and its console with it
        return;
    }
    forgetIfCleared();
    if (pending_.isEmpty())
        return;
    Piece& piece = pending_.first();
    const qsizetype end = sliceEnd(piece.text.text, piece.offset);
    const int start = endPosition(view_);
    QTextCursor cursor(view_->document());
    cursor.movePosition(QTextCursor::End);
    // insertText treats text as plain characters, never as markup.
    cursor.insertText(piece.text.text.sliced(piece.offset, end - piece.offset), piece.text.format);
    if (piece.offset == 0)
        revealStart(view_, start);
    insertedUpTo_ = endPosition(view_);
    piece.offset = end;
    if (piece.offset == piece.text.text.size())
        pending_.removeFirst();
    if (!pending_.isEmpty())
        next_.start();
}

} // namespace ostrel
