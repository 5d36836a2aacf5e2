// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/viewer/CutText.h"

#include <algorithm>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

std::optional<QByteArray> cutTextToSend(const QString& text) {
    const bool latin1 =
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xff; });
    if (!latin1)
        return std::nullopt;
    QString lines = text;
    lines.replace(u"\r\n"_s, u"\n"_s);
    lines.replace(u'\r', u'\n');
    return lines.toLatin1();
}

QString cutTextReceived(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

QString notLatin1Line() {
    return u"Only Latin-1 text can be pasted to the phone; this text was not sent."_s;
}

} // namespace ostrel
