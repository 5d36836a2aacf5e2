// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

namespace ostrel {

// The maker's web site as the build configured it.
QUrl defaultSiteUrl();

// Addresses below the site; `site` may or may not end in "/".
QUrl helpPageUrl(const QUrl& site);
QUrl storePageUrl(const QUrl& site);
QUrl updateEndpointUrl(const QUrl& site);

// Where a user without the app is sent to get it.
QUrl googlePlayFrontPage();

} // namespace ostrel
