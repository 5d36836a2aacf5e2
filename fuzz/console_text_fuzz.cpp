// SPDX-License-Identifier: GPL-3.0-or-later
// Outside text on its way into the console: adb's and the server's words,
// serials, whatever was pasted. Read as UTF-8 and as raw UTF-16 (lone
// surrogates, NULs and every control included); the first byte, when it is
// odd, repeats the text so that lines grow past the console's limit.
#include "FuzzTarget.h"

#include "core/session/ConsoleText.h"
#include "core/text/VisibleText.h"

#include <QString>
#include <QStringList>

#include <cstring>

namespace {

using namespace Qt::Literals::StringLiterals;

void checkVisible(const QString& text) {
    const QString shown = ostrel::visibleText(text);
    OSTREL_FUZZ_CHECK(ostrel::needsVisibleText(text) == (shown != text));
    OSTREL_FUZZ_CHECK(!ostrel::needsVisibleText(shown));
    // Nothing is dropped: every character is kept or becomes a symbol.
    OSTREL_FUZZ_CHECK(shown.size() >= text.size());
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const char16_t c = shown.at(i).unicode();
        if (c == u'\r')
            OSTREL_FUZZ_CHECK(i + 1 < shown.size() && shown.at(i + 1) == u'\n');
        else if (c != u'\t' && c != u'\n')
            OSTREL_FUZZ_CHECK(c >= 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0x9F) &&
                              !(c >= 0x202A && c <= 0x202E) && !(c >= 0x2066 && c <= 0x2069) &&
                              c != 0x061C && c != 0x200E && c != 0x200F && c != 0x2028 &&
                              c != 0x2029);
    }
}

bool isLineEnd(QChar c) {
    return c == u'\n' || c == u'\r';
}

// The lines of `text`, cut at each line-end character.
QStringList linesOf(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isLineEnd(text.at(i))) {
            lines.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    lines.append(text.mid(start));
    return lines;
}

QString lineEnds(const QString& text) {
    QString ends;
    for (const QChar c : text) {
        if (isLineEnd(c))
            ends += c;
    }
    return ends;
}

// Controls show as visibleText() makes them; then each line keeps its first
// ConsoleLineLimit characters (one fewer where the last would be half of a
// pair) and says how many more it had; line ends stay where they were.
void checkShaped(const QString& text) {
    const QString shaped = ostrel::shapeConsoleText(text);
    const QString visible = ostrel::visibleText(text);
    const QStringList lines = linesOf(visible);
    const QStringList shapedLines = linesOf(shaped);
    OSTREL_FUZZ_CHECK(lines.size() == shapedLines.size());
    OSTREL_FUZZ_CHECK(lineEnds(shaped) == lineEnds(visible));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString expected = lines.at(i);
        if (expected.size() > ostrel::ConsoleLineLimit) {
            qsizetype kept = ostrel::ConsoleLineLimit;
            if (expected.at(kept - 1).isHighSurrogate())
                --kept;
            const qsizetype leftOut = expected.size() - kept;
            expected = expected.left(kept) +
                       (leftOut == 1 ? u"[\u2026 1 character not shown]"_s
                                     : u"[\u2026 %1 characters not shown]"_s.arg(leftOut));
        }
        OSTREL_FUZZ_CHECK(shapedLines.at(i) == expected);
    }
}

void check(QString text, bool repeat) {
    if (repeat && !text.isEmpty()) {
        const QString once = text;
        while (text.size() <= ostrel::ConsoleLineLimit + 64)
            text += once;
    }
    checkVisible(text);
    checkShaped(text);
}

} // namespace

OSTREL_FUZZ_TARGET(console_text) {
    if (size == 0)
        return 0;
    const bool repeat = (data[0] & 1) != 0;
    ++data;
    --size;
    check(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
          repeat);
    QString units(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    std::memcpy(units.data(), data, size / 2 * 2);
    check(units, repeat);
    return 0;
}
