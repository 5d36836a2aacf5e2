// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/Hyperlink.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QTextBrowser;

namespace ostrel {

// The text still to be shown in the console, in order, links included. A
// text document takes about a second to insert and lay out 100 000 lines, so
// a long output goes in slices and the window answers in between.
class ConsoleFeed : public QObject {
public:
    explicit ConsoleFeed(QObject* parent = nullptr);

    // Queues `text` for the end of `view`; what waited for another view goes.
    void append(QTextBrowser* view, const AttributedString& text);

private:
    struct Piece {
        AttributedString text;
        qsizetype offset; // how much of it is in the view already
    };

    void forgetIfCleared();
    void insertNextSlice();

    QPointer<QTextBrowser> view_;
    QList<Piece> pending_;
    int insertedUpTo_ = 0;
    QTimer next_;
};

} // namespace ostrel
