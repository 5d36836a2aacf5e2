#include "core/server/LongListingModel.h"

#include <QByteArrayList>

namespace ostrel {

namespace {

std::optional<QString> modelField(QByteArrayView fields) {
    for (const QByteArray& field : fields.toByteArray().split(' ')) {
        if (field.startsWith("model:") && field.size() > 6)
            return QString::fromUtf8(field.sliced(6)).replace(u'_', u' ');
    }
    return std::nullopt;
}

// The starts of lines that belong to serials which begin like `prefix`.
QByteArrayList longerPrefixes(const QByteArray& prefix, const QStringList& knownSerials) {
    QByteArrayList longer;
    for (const QString& known : knownSerials) {
        const QByteArray knownPrefix = known.toUtf8() + ' ';
        if (knownPrefix.size() > prefix.size() && knownPrefix.startsWith(prefix))
            longer.append(knownPrefix);
    }
    return longer;
}

bool startsWithAny(QByteArrayView line, const QByteArrayList& prefixes) {
    for (const QByteArray& prefix : prefixes) {
        if (line.startsWith(prefix))
            return true;
    }
    return false;
}

} // namespace

std::optional<QString> modelFromLongListing(QByteArrayView listing, const QString& serial,
                                            const QStringList& knownSerials) {
    if (serial.isEmpty())
        return std::nullopt;
    const QByteArray prefix = serial.toUtf8() + ' ';
    const QByteArrayList others = longerPrefixes(prefix, knownSerials);
    for (QByteArray line : listing.toByteArray().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith(prefix) && !startsWithAny(line, others))
            return modelField(QByteArrayView(line).sliced(prefix.size()));
    }
    return std::nullopt;
}

} // namespace ostrel
