// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/KeySymbol.h"

#include <QList>
#include <Qt>

namespace {

quint32 namedKeySymbol(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0xff0d;
    case Qt::Key_Backspace:
        return 0xff08;
    case Qt::Key_Tab:
        return 0xff09;
    case Qt::Key_Escape:
        return 0xff1b;
    case Qt::Key_Delete:
        return 0xffff;
    case Qt::Key_Home:
        return 0xff50;
    case Qt::Key_Left:
        return 0xff51;
    case Qt::Key_Up:
        return 0xff52;
    case Qt::Key_Right:
        return 0xff53;
    case Qt::Key_Down:
        return 0xff54;
    case Qt::Key_End:
        return 0xff57;
    default:
        return 0;
    }
}

bool isControl(char32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7f && codePoint < 0xa0);
}

quint32 characterKeySymbol(const QString& text) {
    const QList<uint> codePoints = text.toUcs4();
    if (codePoints.size() != 1 || isControl(codePoints.front()))
        return 0;
    const char32_t codePoint = codePoints.front();
    // Latin-1 keysyms are the characters themselves; beyond it the server
    // reads the Unicode keysym range.
    return codePoint <= 0xff ? codePoint : 0x01000000u + codePoint;
}

} // namespace

quint32 keySymbolFor(int qtKey, const QString& text) {
    const quint32 named = namedKeySymbol(qtKey);
    return named != 0 ? named : characterKeySymbol(text);
}
