// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/viewer/ScreenshotFile.h"

#include "core/text/VisibleText.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// Long enough for any phone's name and serial, short of every file system's
// limit once the time is added.
constexpr qsizetype MaxNameLength = 80;

bool unsafeInFileName(QChar c) {
    static const QString reserved = u"/\\:*?\"<>|"_s;
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_NotAssigned:
    case QChar::Other_PrivateUse:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return reserved.contains(c);
    }
}

QString safeNamePart(const QString& name) {
    QString safe;
    for (const QChar c : name) {
        if (c.isSpace())
            safe += u' ';
        else
            safe += (unsafeInFileName(c) && !c.isSurrogate()) ? u'_' : c;
    }
    safe = safe.simplified();
    while (safe.startsWith(u'.') || safe.startsWith(u'-'))
        safe.remove(0, 1);
    if (safe.size() > MaxNameLength) {
        qsizetype cut = MaxNameLength;
        if (safe.at(cut - 1).isHighSurrogate())
            --cut;
        safe.truncate(cut);
    }
    safe = safe.trimmed();
    return safe.isEmpty() ? u"Phone"_s : safe;
}

QString freePath(const QDir& folder, const QString& fileName) {
    const QFileInfo wanted(fileName);
    QString path = folder.filePath(fileName);
    for (int copy = 2; QFileInfo::exists(path); ++copy)
        path = folder.filePath(
            u"%1 (%2).%3"_s.arg(wanted.completeBaseName()).arg(copy).arg(wanted.suffix()));
    return path;
}

} // namespace

QString screenshotFileName(const QString& phoneName, const QDateTime& takenAt) {
    return u"%1 %2.png"_s.arg(safeNamePart(phoneName), takenAt.toString(u"yyyy-MM-dd HH.mm.ss"_s));
}

QString screenshotFolder(const QString& picturesFolder, const QString& homeFolder) {
    if (!picturesFolder.isEmpty() && QFileInfo(picturesFolder).isDir())
        return picturesFolder;
    return homeFolder;
}

ScreenshotResult saveScreenshot(const QImage& frame, const QString& folder,
                                const QString& fileName) {
    ScreenshotResult result{freePath(QDir(folder), fileName), {}};
    if (frame.isNull()) {
        result.error = u"there is no picture of the screen yet"_s;
        return result;
    }
    QSaveFile file(result.path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(frame)) {
        result.error = writer.errorString();
        file.cancelWriting();
        file.commit();
        return result;
    }
    if (!file.commit())
        result.error = file.errorString();
    return result;
}

QString screenshotLine(const ScreenshotResult& result) {
    const QString path = visibleText(QDir::toNativeSeparators(result.path));
    if (result.error.isEmpty())
        return u"Screenshot saved as %1"_s.arg(path);
    return u"The screenshot could not be saved as %1: %2."_s.arg(path, result.error);
}

} // namespace ostrel
