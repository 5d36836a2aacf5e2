// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/Hyperlink.h"

#include <QColor>

namespace ostrel::Hyperlink {

AttributedString hyperlinkFromString(const QString& text, const QUrl& url) {
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorHref(url.toString(QUrl::FullyEncoded));
    format.setForeground(QColor(0, 0, 255));
    format.setFontUnderline(true);
    return {text, format};
}

AttributedString normalTextFromString(const QString& text) {
    QTextCharFormat format;
    format.setAnchor(false);
    format.setAnchorHref(QString());
    format.setForeground(QColor(0, 0, 0));
    format.setFontUnderline(false);
    return {text, format};
}

QString labelLinkHtml(const QString& text, const QUrl& url) {
    return QStringLiteral(
               "<a href=\"%1\" style=\"color:#0000ff; text-decoration:underline\">%2</a>")
        .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), text.toHtmlEscaped());
}

} // namespace ostrel::Hyperlink
