#include "core/update/UpdateReply.h"

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

bool isNewerVersion(const QString& ownVersion, const QString& latestVersion) {
    if (ownVersion.isEmpty())
        return false;
    return QString::compare(ownVersion, latestVersion, Qt::CaseInsensitive) < 0;
}

UpdateVerdict judgeUpdateReply(const std::optional<QByteArray>& body, const QString& ownVersion) {
    const std::optional<UpdateReply> reply = body ? parseUpdateReply(*body) : std::nullopt;
    if (!reply)
        return {};
    const bool newer = isNewerVersion(ownVersion, reply->latestVersion);
    return {newer ? UpdateResult::NewerVersion : UpdateResult::UpToDate, reply->downloadAddress};
}

} // namespace ostrel
