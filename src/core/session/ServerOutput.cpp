#include "core/session/ServerOutput.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// Only the end of the file is shown, however much the server wrote.
constexpr qint64 TailBytes = 64 * 1024;
constexpr qsizetype LongestLine = 300;

// The serial comes from adb's listing, and a file name must not climb out of
// its folder.
QString fileNamePart(const QString& text, const QString& fallback) {
    QString part;
    for (const QChar c : text.left(100)) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'_';
        part += plain ? c : u'_';
    }
    return part.isEmpty() || part.startsWith(u'.') ? fallback : part;
}

QString ownFolderIn(QStandardPaths::StandardLocation location, bool shared) {
    QString folder = QStandardPaths::writableLocation(location);
    if (folder.isEmpty())
        return {};
    // The runtime folder belongs to every program of the user, not to us.
    if (shared)
        folder += u'/' + fileNamePart(QCoreApplication::applicationName(), u"ostrel-dravik"_s);
    if (!QDir().mkpath(folder))
        return {};
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return folder;
}

// Plain text for the console: no control characters, no runaway length.
QString shownLine(const QString& line) {
    QString shown;
    for (const QChar c : line) {
        if (c == u'\t')
            shown += u' ';
        else if (c.isPrint())
            shown += c;
    }
    shown = shown.trimmed();
    return shown.size() > LongestLine ? shown.left(LongestLine) + u"..."_s : shown;
}

} // namespace

QString serverOutputFile(const QString& serial) {
    // Without the variable Qt makes up a folder in /tmp and warns on standard
    // error, which a script reading the command line's output would take for
    // a failure.
    QString folder;
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        folder = ownFolderIn(QStandardPaths::RuntimeLocation, true);
    if (folder.isEmpty())
        folder = ownFolderIn(QStandardPaths::CacheLocation, false);
    if (folder.isEmpty())
        return {};
    return folder + u"/server-output-"_s + fileNamePart(serial, u"default"_s) + u".log"_s;
}

QString serverOutputTail(const QString& path, int count) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    const bool cut = size > TailBytes;
    if (cut)
        file.seek(size - TailBytes);
    QStringList lines = QString::fromUtf8(file.read(TailBytes)).split(u'\n');
    if (cut)
        lines.removeFirst(); // begun in the middle
    QStringList shown;
    for (const QString& line : lines) {
        const QString text = shownLine(line);
        if (!text.isEmpty())
            shown.append(text);
    }
    QString tail;
    for (const QString& line : shown.mid(std::max<qsizetype>(0, shown.size() - count)))
        tail += u"    "_s + line + u"\r\n"_s;
    return tail;
}

} // namespace ostrel
