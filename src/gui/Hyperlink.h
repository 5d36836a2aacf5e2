// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTextCharFormat>
#include <QUrl>

namespace ostrel {

// A piece of console text together with the one format that covers all of it.
struct AttributedString {
    QString text;
    QTextCharFormat format;
};

namespace Hyperlink {

// Blue, underlined, and carrying the address as its anchor.
AttributedString hyperlinkFromString(const QString& text, const QUrl& url);

// Black and not underlined: closes a link so that later text never joins it.
AttributedString normalTextFromString(const QString& text);

// Rich text for a label that shows `text` as one link to `url`; both are escaped.
QString labelLinkHtml(const QString& text, const QUrl& url);

} // namespace Hyperlink

} // namespace ostrel
