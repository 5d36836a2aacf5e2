// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace ostrel {

// The models of the phones `serials` in the reply to "host:devices-l", for
// people to tell phones apart: for each, the value of the "model:" field on
// the first line that begins with its serial and a space, with adb's '_'
// shown as spaces ("KS_200" reads "KS 200"). A phone without such a line, or
// whose line has no model, is left out.
//
// Only the model is read: the serial is padded to a column and the state may
// be several words ("no permissions (...); see [...]"), so neither can be
// split off reliably; they come from the short listing. A serial may hold
// spaces, so "A" would also begin the line of a phone "A B": pass every
// serial the short listing gave as `knownSerials`, and each line belongs to
// the longest of them it begins with (followed by a space). The listing is
// read once whatever the number of serials. The text is adb's, made harmless
// for display by visibleText() wherever it is shown.
QHash<QString, QString> modelsFromLongListing(QByteArrayView listing, const QStringList& serials,
                                              const QStringList& knownSerials = {});

// The same for one phone; nothing when it has no model there.
std::optional<QString> modelFromLongListing(QByteArrayView listing, const QString& serial,
                                            const QStringList& knownSerials = {});

} // namespace ostrel
