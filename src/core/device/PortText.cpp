// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/PortText.h"

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// Long enough for any number a person means as a port, short enough for one line.
constexpr qsizetype ShownEntryLength = 24;
// Leading zeros aside, no port has more digits than this.
constexpr qsizetype LongestDigits = 5;

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

QString shownEntry(const QString& text) {
    QString shown = text.left(ShownEntryLength);
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            c = QChar::ReplacementCharacter;
    }
    if (text.size() > ShownEntryLength)
        shown += u"..."_s;
    return shown;
}

} // namespace

std::optional<TcpPort> portNumber(QStringView text) {
    QStringView digits = text.trimmed();
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar c : digits) {
        if (!isAsciiDigit(c))
            return std::nullopt;
    }
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.sliced(1);
    if (digits.size() > LongestDigits)
        return std::nullopt;
    int32_t value = 0;
    for (const QChar c : digits)
        value = value * 10 + (c.unicode() - u'0');
    return TcpPort::fromNumber(value);
}

PortEntry readPortEntry(const QString& text) {
    if (text.trimmed().isEmpty())
        return {};
    const std::optional<TcpPort> port = portNumber(text);
    if (!port)
        return {PortEntry::Kind::NotAPort, std::nullopt};
    return {PortEntry::Kind::Port, port};
}

QString notAPortLine(const QString& text) {
    return u"Error: \"%1\" is not a port number: enter a number from %2 to %3.\r\n"_s.arg(
        shownEntry(text), QString::number(TcpPort::Lowest), QString::number(TcpPort::Highest));
}

} // namespace ostrel
