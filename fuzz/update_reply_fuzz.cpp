// SPDX-License-Identifier: GPL-3.0-or-later
// The update site's reply, as whatever bytes come back: read, judged against
// this program's version, and held to the size cap.
#include "FuzzTarget.h"

#include "core/text/VisibleText.h"
#include "core/update/UpdateReply.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace {

using namespace Qt::Literals::StringLiterals;

void checkVersionOrder(const QString& a, const QString& b, const QString& c) {
    OSTREL_FUZZ_CHECK(!ostrel::isNewerVersion(a, a));
    OSTREL_FUZZ_CHECK(!(ostrel::isNewerVersion(a, b) && ostrel::isNewerVersion(b, a)));
    if (ostrel::isNewerVersion(a, b) && ostrel::isNewerVersion(b, c))
        OSTREL_FUZZ_CHECK(ostrel::isNewerVersion(a, c));
    OSTREL_FUZZ_CHECK(!ostrel::isNewerVersion(QString(), b));
}

// What the dialog shows can neither hide nor reorder anything, and a link
// opens a web address that reads exactly as shown.
void checkOffered(const QString& address) {
    const ostrel::OfferedDownload offered = ostrel::offeredDownload(address);
    OSTREL_FUZZ_CHECK(!ostrel::needsVisibleText(offered.shown));
    if (!offered.link)
        return;
    OSTREL_FUZZ_CHECK(offered.link->scheme() == u"http"_s || offered.link->scheme() == u"https"_s);
    OSTREL_FUZZ_CHECK(offered.link->toString(QUrl::FullyEncoded) == offered.shown);
    for (const QChar c : offered.shown)
        OSTREL_FUZZ_CHECK(c.unicode() > 0x20 && c.unicode() < 0x7F);
}

} // namespace

OSTREL_FUZZ_TARGET(update_reply) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString ownVersion = QStringLiteral(OSTREL_VERSION);

    const std::optional<ostrel::UpdateReply> reply = ostrel::parseUpdateReply(body);
    const ostrel::UpdateVerdict verdict = ostrel::judgeUpdateReply(body, ownVersion);
    OSTREL_FUZZ_CHECK(!verdict.cancelled);
    if (!reply) {
        OSTREL_FUZZ_CHECK(verdict.result == ostrel::UpdateResult::Failed);
        OSTREL_FUZZ_CHECK(verdict.failure == ostrel::UpdateFailure::NotUnderstood);
        OSTREL_FUZZ_CHECK(!verdict.failureText.isEmpty());
    } else {
        // The fields stand in the reply as they are, the first two of its
        // comma-separated parts; a byte order mark is no part of the version.
        OSTREL_FUZZ_CHECK(!reply->latestVersion.contains(u','));
        OSTREL_FUZZ_CHECK(!reply->downloadAddress.contains(u','));
        const QByteArray text = body.startsWith("\xEF\xBB\xBF") ? body.mid(3) : body;
        const QByteArray fields = (reply->latestVersion + u',' + reply->downloadAddress).toUtf8();
        OSTREL_FUZZ_CHECK(text.startsWith(fields));
        OSTREL_FUZZ_CHECK(text.size() == fields.size() || text.at(fields.size()) == ',');
        OSTREL_FUZZ_CHECK(verdict.failure == ostrel::UpdateFailure::None);
        OSTREL_FUZZ_CHECK(verdict.failureText.isEmpty());
        OSTREL_FUZZ_CHECK(verdict.downloadAddress == reply->downloadAddress);
        const bool newer = ostrel::isNewerVersion(ownVersion, reply->latestVersion);
        OSTREL_FUZZ_CHECK(verdict.result == (newer ? ostrel::UpdateResult::NewerVersion
                                                   : ostrel::UpdateResult::UpToDate));
        checkVersionOrder(ownVersion, reply->latestVersion, reply->downloadAddress);
        checkVersionOrder(reply->latestVersion, reply->downloadAddress, ownVersion);
        checkOffered(reply->downloadAddress);
    }

    // A reply right at the cap is read like a short one; one byte more and it
    // is not read at all. Growing the body with letters keeps its UTF-8 as
    // valid or as broken as it was, and adds no comma. Reading 64 KiB takes a
    // while, so only some inputs try it.
    if (body.size() <= ostrel::MaxUpdateReplyBytes && size % 8 == 0) {
        QByteArray atCap = body;
        atCap.append(ostrel::MaxUpdateReplyBytes - body.size(), 'x');
        OSTREL_FUZZ_CHECK(ostrel::parseUpdateReply(atCap).has_value() == reply.has_value());
        atCap.append('x');
        OSTREL_FUZZ_CHECK(!ostrel::parseUpdateReply(atCap).has_value());
        OSTREL_FUZZ_CHECK(ostrel::judgeUpdateReply(atCap, ownVersion).failure ==
                          ostrel::UpdateFailure::NotUnderstood);
    }
    return 0;
}
