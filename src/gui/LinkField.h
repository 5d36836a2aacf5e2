// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

class QLabel;

namespace ostrel {

class Desktop;

// Turns `field` into the link to the store page of the maker's site at
// `siteUrl`; a click opens it through `desktop`. Made again, it is still one link.
void setHyperlinkWithTextField(QLabel* field, const QUrl& siteUrl, Desktop& desktop);

// Turns `field` into the offered download address. The link opens the
// address it reads as, not the text it was parsed from: clicking can never
// take the user anywhere but what was shown. An address that is no web
// address is shown as plain text.
void setUpdateHyperlinkWithTextField(QLabel* field, const QString& url, Desktop& desktop);

} // namespace ostrel
