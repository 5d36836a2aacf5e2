// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SiteAddresses.h"

namespace ostrel {

namespace {

QUrl below(const QUrl& site, const QString& path) {
    QString base = site.toString(QUrl::StripTrailingSlash);
    return QUrl(base + path);
}

} // namespace

QUrl defaultSiteUrl() {
    return QUrl(QStringLiteral(OSTREL_SITE_URL));
}

QUrl helpPageUrl(const QUrl& site) {
    return below(site, QStringLiteral("/zelq/"));
}

QUrl storePageUrl(const QUrl& site) {
    return below(site, QStringLiteral("/vncserver/android/googleplay.html"));
}

QUrl updateEndpointUrl(const QUrl& site) {
    return below(site, QStringLiteral("/zelq/mac/queryupdate.php"));
}

QUrl googlePlayFrontPage() {
    return QUrl(QStringLiteral("https://play.google.com/store"));
}

} // namespace ostrel
