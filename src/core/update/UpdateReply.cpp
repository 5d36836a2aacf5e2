// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/update/UpdateReply.h"

#include "core/text/VisibleText.h"

#include <QStringDecoder>
#include <QStringList>

namespace ostrel {

namespace {

std::optional<QString> decodeStrictUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

UpdateVerdict failedVerdict(UpdateFailure failure, const QString& text) {
    UpdateVerdict verdict;
    verdict.failure = failure;
    verdict.failureText = text;
    return verdict;
}

UpdateVerdict notUnderstood() {
    return failedVerdict(UpdateFailure::NotUnderstood,
                         QStringLiteral("The update site's reply was not understood."));
}

} // namespace

std::optional<UpdateReply> parseUpdateReply(const QByteArray& body) {
    if (body.size() > MaxUpdateReplyBytes)
        return std::nullopt;
    const std::optional<QString> text = decodeStrictUtf8(body);
    if (!text)
        return std::nullopt;
    // No trimming: white space and line ends belong to the fields.
    const QStringList fields = text->split(QLatin1Char(','));
    if (fields.size() < 2)
        return std::nullopt;
    return UpdateReply{fields[0], fields[1]};
}

OfferedDownload offeredDownload(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme();
    const bool web = scheme == u"http" || scheme == u"https";
    if (!url.isValid() || !web || url.host().isEmpty())
        return {visibleText(address), std::nullopt};
    return {url.toString(QUrl::FullyEncoded), url};
}

bool isNewerVersion(const QString& ownVersion, const QString& latestVersion) {
    if (ownVersion.isEmpty())
        return false;
    return QString::compare(ownVersion, latestVersion, Qt::CaseInsensitive) < 0;
}

UpdateVerdict judgeUpdateReply(const QByteArray& body, const QString& ownVersion) {
    const std::optional<UpdateReply> reply = parseUpdateReply(body);
    if (!reply)
        return notUnderstood();
    const bool newer = isNewerVersion(ownVersion, reply->latestVersion);
    UpdateVerdict verdict;
    verdict.result = newer ? UpdateResult::NewerVersion : UpdateResult::UpToDate;
    verdict.downloadAddress = reply->downloadAddress;
    return verdict;
}

UpdateVerdict unansweredVerdict(UpdateFailure failure, const QString& networkError,
                                std::chrono::milliseconds timeout) {
    if (failure == UpdateFailure::NotUnderstood)
        return notUnderstood();
    if (failure != UpdateFailure::NoAnswer)
        return failedVerdict(
            UpdateFailure::Unreachable,
            QStringLiteral("The update site could not be reached: %1").arg(networkError));
    const double seconds = std::chrono::duration<double>(timeout).count();
    return failedVerdict(
        UpdateFailure::NoAnswer,
        QStringLiteral("The update site did not answer within %1 %2.")
            .arg(QString::number(seconds, 'g', 3),
                 seconds == 1.0 ? QStringLiteral("second") : QStringLiteral("seconds")));
}

} // namespace ostrel
