// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/LinkField.h"

#include "core/SiteAddresses.h"
#include "core/update/UpdateReply.h"
#include "gui/Desktop.h"
#include "gui/Hyperlink.h"

#include <QLabel>

namespace ostrel {

void setHyperlinkWithTextField(QLabel* field, const QUrl& siteUrl, Desktop& desktop) {
    if (!field)
        return;
    field->setTextFormat(Qt::RichText);
    field->setTextInteractionFlags(Qt::TextBrowserInteraction);
    field->setOpenExternalLinks(false);
    field->setText(Hyperlink::labelLinkHtml(
        QStringLiteral("Get the Ostrel VNC Server App from Google Play"), storePageUrl(siteUrl)));
    // A field set up again keeps a single connection.
    QObject::disconnect(field, &QLabel::linkActivated, field, nullptr);
    QObject::connect(field, &QLabel::linkActivated, field,
                     [&desktop](const QString& link) { desktop.openUrl(QUrl(link)); });
}

void setUpdateHyperlinkWithTextField(QLabel* field, const QString& url, Desktop& desktop) {
    if (!field)
        return;
    const OfferedDownload offered = offeredDownload(url);
    field->setOpenExternalLinks(false);
    QObject::disconnect(field, &QLabel::linkActivated, field, nullptr);
    if (!offered.link) {
        field->setTextFormat(Qt::PlainText);
        field->setTextInteractionFlags(Qt::TextSelectableByMouse);
        field->setText(offered.shown);
        return;
    }
    field->setTextFormat(Qt::RichText);
    field->setTextInteractionFlags(Qt::TextBrowserInteraction);
    field->setText(Hyperlink::labelLinkHtml(offered.shown, *offered.link));
    QObject::connect(
        field, &QLabel::linkActivated, field,
        [&desktop, target = *offered.link](const QString&) { desktop.openUrl(target); });
}

} // namespace ostrel
