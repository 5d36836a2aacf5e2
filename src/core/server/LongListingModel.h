#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

namespace ostrel {

// The model of the phone `serial` in the reply to "host:devices-l", for people
// to tell phones apart: the value of the "model:" field on the line that
// begins with the serial and a space, with adb's '_' shown as spaces ("KS_200"
// reads "KS 200"). Nothing when there is no such line or it has no model.
//
// Only the model is read: the serial is padded to a column and the state may
// be several words ("no permissions (...); see [...]"), so neither can be
// split off reliably; they come from the short listing. A serial may hold
// spaces, so "A" would also begin the line of a phone "A B": pass every
// serial the short listing gave as `knownSerials` and lines that begin with a
// longer one followed by a space are left to it. The text is adb's, made
// harmless for display by visibleText() wherever it is shown.
std::optional<QString> modelFromLongListing(QByteArrayView listing, const QString& serial,
                                            const QStringList& knownSerials = {});

} // namespace ostrel
