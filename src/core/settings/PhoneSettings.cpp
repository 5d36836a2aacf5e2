// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/PhoneSettings.h"

#include <QCryptographicHash>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

QString phoneSettingsGroup(const QString& serial) {
    const QByteArray digest = QCryptographicHash::hash(serial.toUtf8(), QCryptographicHash::Sha1);
    return u"phones/"_s + QString::fromLatin1(digest.toHex());
}

} // namespace ostrel
