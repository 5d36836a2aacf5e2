// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/ConsoleText.h"

#include "core/text/VisibleText.h"

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

bool isLineEnd(QChar c) {
    return c == u'\n' || c == u'\r';
}

// Most output needs nothing done, and then the text is passed on unchanged.
bool needsCutting(const QString& text) {
    qsizetype lineLength = 0;
    for (const QChar c : text) {
        lineLength = isLineEnd(c) ? 0 : lineLength + 1;
        if (lineLength > ConsoleLineLimit)
            return true;
    }
    return false;
}

// Builds the shaped text one character at a time, remembering how much of the
// current line has been left out.
class Shaper {
public:
    explicit Shaper(qsizetype size) { shaped_.reserve(size); }

    void take(QChar c) {
        if (isLineEnd(c)) {
            endLine();
            shaped_ += c;
        } else if (shown_ < ConsoleLineLimit) {
            shaped_ += c;
            ++shown_;
        } else {
            startLeavingOut();
            ++leftOut_;
        }
    }

    QString finish() {
        endLine();
        return std::move(shaped_);
    }

private:
    // A character outside the basic plane is never cut in half.
    void startLeavingOut() {
        if (leftOut_ == 0 && shaped_.back().isHighSurrogate()) {
            shaped_.chop(1);
            ++leftOut_;
        }
    }

    void endLine() {
        if (leftOut_ == 1)
            shaped_ += u"[\u2026 1 character not shown]"_s;
        else if (leftOut_ > 1)
            shaped_ += u"[\u2026 %1 characters not shown]"_s.arg(leftOut_);
        shown_ = 0;
        leftOut_ = 0;
    }

    QString shaped_;
    qsizetype shown_ = 0;
    qsizetype leftOut_ = 0;
};

} // namespace

QString shapeConsoleText(const QString& text) {
    // Symbols first, so that a lone CR no longer ends a line and the limit
    // counts what is shown.
    const QString visible = needsVisibleText(text) ? visibleText(text) : text;
    if (!needsCutting(visible))
        return visible;
    Shaper shaper(std::min(visible.size(), qsizetype{1} << 20));
    for (const QChar c : visible)
        shaper.take(c);
    return shaper.finish();
}

} // namespace ostrel
