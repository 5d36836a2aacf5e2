// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/LongListingModel.h"

#include <QByteArrayList>
#include <QSet>

namespace ostrel {

namespace {

std::optional<QString> modelField(QByteArrayView fields) {
    for (const QByteArray& field : fields.toByteArray().split(' ')) {
        if (field.startsWith("model:") && field.size() > 6)
            return QString::fromUtf8(field.sliced(6)).replace(u'_', u' ');
    }
    return std::nullopt;
}

QByteArrayView firstWord(QByteArrayView text) {
    const qsizetype space = text.indexOf(' ');
    return space < 0 ? text : text.first(space);
}

// How each serial's line starts ("SERIAL "), grouped by the serial's first
// word: a line is only ever compared with the serials that share its first word.
struct LineStarts {
    explicit LineStarts(const QStringList& serials) {
        for (const QString& serial : serials) {
            const QByteArray start = serial.toUtf8() + ' ';
            if (serial.isEmpty() || serialOf.contains(start))
                continue;
            serialOf.insert(start, serial);
            byFirstWord[firstWord(start).toByteArray()].append(start);
        }
    }
    QHash<QByteArray, QByteArrayList> byFirstWord;
    QHash<QByteArray, QString> serialOf;
};

// The longest of `starts` that `line` begins with; empty when none.
QByteArray owningStart(QByteArrayView line, const QByteArrayList& starts) {
    QByteArray owner;
    for (const QByteArray& start : starts) {
        if (start.size() > owner.size() && line.startsWith(start))
            owner = start;
    }
    return owner;
}

} // namespace

QHash<QString, QString> modelsFromLongListing(QByteArrayView listing, const QStringList& serials,
                                              const QStringList& knownSerials) {
    const LineStarts starts(knownSerials + serials);
    QSet<QString> wanted(serials.begin(), serials.end());
    QHash<QString, QString> models;
    for (QByteArray line : listing.toByteArray().split('\n')) {
        if (wanted.isEmpty())
            break;
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray owner =
            owningStart(line, starts.byFirstWord.value(firstWord(line).toByteArray()));
        // A phone's first line decides, model or not.
        if (owner.isEmpty() || !wanted.remove(starts.serialOf.value(owner)))
            continue;
        const QString serial = starts.serialOf.value(owner);
        if (const std::optional<QString> model =
                modelField(QByteArrayView(line).sliced(owner.size())))
            models.insert(serial, *model);
    }
    return models;
}

std::optional<QString> modelFromLongListing(QByteArrayView listing, const QString& serial,
                                            const QStringList& knownSerials) {
    const QHash<QString, QString> models =
        modelsFromLongListing(listing, QStringList{serial}, knownSerials);
    const auto model = models.constFind(serial);
    if (model == models.cend())
        return std::nullopt;
    return *model;
}

} // namespace ostrel
