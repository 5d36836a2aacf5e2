// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

namespace ostrel {

// What an update check ends with; the values are those checkForUpdate returns.
namespace UpdateResult {
constexpr int Failed = -1;
constexpr int NewerVersion = 0;
constexpr int UpToDate = 1;
} // namespace UpdateResult

// A reply larger than this is not a version and an address: it counts as a failure.
constexpr qsizetype MaxUpdateReplyBytes = 64 * 1024;

// The two fields of the update endpoint's reply, exactly as they stand.
struct UpdateReply {
    QString latestVersion;
    QString downloadAddress;
};

// Why a check failed, for the user to tell a network fault from a site fault.
enum class UpdateFailure { None, Unreachable, NoAnswer, NotUnderstood };

struct UpdateVerdict {
    int result = UpdateResult::Failed;
    QString downloadAddress; // set when the reply could be read
    bool cancelled = false;  // the check was called off: nobody is to hear of it
    UpdateFailure failure = UpdateFailure::None;
    QString failureText; // the reason in the user's words; empty unless it failed
};

// Reads "version,address[,ignored...]"; nothing when the body is too large, not
// UTF-8, or has no comma.
std::optional<UpdateReply> parseUpdateReply(const QByteArray& body);

// A plain text comparison that ignores letter case, so "1.9" is not older than
// "1.10". A program without a version of its own never asks for an update.
bool isNewerVersion(const QString& ownVersion, const QString& latestVersion);

// The download address as the dialog offers it. Only an http or https address
// naming a host becomes a link; `shown` is then the link's encoded form, all
// printable ASCII, which is exactly what opening `link` asks for, so nothing
// in it can hide or reorder the rest. Any other address is plain text, shown
// through visibleText().
struct OfferedDownload {
    QString shown;
    std::optional<QUrl> link;
};
OfferedDownload offeredDownload(const QString& address);

// Judges a whole reply; one that cannot be read is a failure of the site.
UpdateVerdict judgeUpdateReply(const QByteArray& body, const QString& ownVersion);

// A check that got no whole reply: the site could not be reached (`networkError`
// says why), did not answer within `timeout`, or cut its reply short.
UpdateVerdict unansweredVerdict(UpdateFailure failure, const QString& networkError,
                                std::chrono::milliseconds timeout);

} // namespace ostrel
