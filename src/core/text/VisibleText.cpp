// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/VisibleText.h"

namespace ostrel {

namespace {

constexpr char16_t ControlPictures = 0x2400;
constexpr char16_t DeletePicture = 0x2421;

// The marks, embeddings, overrides and isolates that reorder what follows.
bool isBidiControl(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// A text view breaks the line at these, so a line could seem to end early.
bool isLineSeparator(char16_t c) {
    return c == 0x2028 || c == 0x2029;
}

bool isC1Control(char16_t c) {
    return c >= 0x80 && c <= 0x9F;
}

// A CR belongs to a line end only when an LF follows it; alone it would
// return a terminal's cursor and let later text hide what came before.
bool isLoneCarriageReturn(QStringView text, qsizetype at) {
    return text[at] == u'\r' && (at + 1 >= text.size() || text[at + 1] != u'\n');
}

bool needsSymbol(QStringView text, qsizetype at) {
    const char16_t c = text[at].unicode();
    if (c == u'\t' || c == u'\n')
        return false;
    if (c == u'\r')
        return isLoneCarriageReturn(text, at);
    return c < 0x20 || c == 0x7F || isC1Control(c) || isBidiControl(c) || isLineSeparator(c);
}

void appendSymbol(QString& shown, char16_t c) {
    if (c < 0x20)
        shown += QChar(char16_t(ControlPictures + c));
    else if (c == 0x7F)
        shown += QChar(DeletePicture);
    else
        shown += QStringLiteral("<U+%1>").arg(unsigned(c), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

bool needsVisibleText(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (needsSymbol(text, i))
            return true;
    }
    return false;
}

QString visibleText(QStringView text) {
    if (!needsVisibleText(text))
        return text.toString();
    QString shown;
    shown.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (needsSymbol(text, i))
            appendSymbol(shown, text[i].unicode());
        else
            shown += text[i];
    }
    return shown;
}

} // namespace ostrel
