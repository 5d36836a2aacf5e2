// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/ServerOutput.h"

#include "core/text/VisibleText.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// Only the end of the file is shown, however much the server wrote.
constexpr qint64 TailBytes = 64 * 1024;
constexpr qsizetype LongestLine = 300;
constexpr qsizetype LongestNamePart = 64;

// The serial comes from adb's listing, and a file name must not climb out of
// its folder.
QString fileNamePart(const QString& text, const QString& fallback) {
    QString part;
    for (const QChar c : text.left(LongestNamePart)) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'_';
        part += plain ? c : u'_';
    }
    return part.isEmpty() || part.startsWith(u'.') ? fallback : part;
}

// The end of what the file holds, and whether it was cut in front.
QByteArray readEnd(int fd, bool* cut) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    const qint64 size = status.st_size;
    *cut = size > TailBytes;
    const qint64 from = std::max<qint64>(0, size - TailBytes);
    QByteArray bytes(static_cast<qsizetype>(size - from), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t read =
            ::pread(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got),
                    static_cast<off_t>(from + got));
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            break;
        got += read;
    }
    bytes.truncate(got);
    return bytes;
}

// The length of the character that starts at `at`: two for a surrogate pair.
qsizetype characterLength(const QString& text, qsizetype at) {
    const bool pair =
        text.at(at).isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate();
    return pair ? 2 : 1;
}

// The server's words as the console shows all outside text: controls as
// symbols and a tab as a space. A runaway line is cut short between two
// characters, never inside a symbol or a surrogate pair.
QString shownLine(const QString& line) {
    QString plain = line;
    plain.replace(u'\t', u' ');
    plain = plain.trimmed();
    QString shown = visibleText(plain);
    if (shown.size() <= LongestLine)
        return shown;
    shown.clear();
    for (qsizetype at = 0; at < plain.size();) {
        const qsizetype length = characterLength(plain, at);
        const QString piece = visibleText(QStringView(plain).sliced(at, length));
        if (shown.size() + piece.size() > LongestLine)
            break;
        shown += piece;
        at += length;
    }
    return shown + u"..."_s;
}

QString tailOf(int fd, int count) {
    bool cut = false;
    QStringList lines = QString::fromUtf8(readEnd(fd, &cut)).split(u'\n');
    if (cut)
        lines.removeFirst(); // begun in the middle
    QStringList shown;
    for (const QString& line : std::as_const(lines)) {
        const QString text = shownLine(line);
        if (!text.isEmpty())
            shown.append(text);
    }
    QString tail;
    for (const QString& line : shown.mid(std::max<qsizetype>(0, shown.size() - count)))
        tail += u"    "_s + line + u"\r\n"_s;
    return tail;
}

} // namespace

QString serverOutputFolderName() {
    return fileNamePart(QCoreApplication::applicationName(), u"ostrel-dravik"_s);
}

QString serverOutputName(const QString& serial) {
    const QByteArray hash =
        QCryptographicHash::hash(serial.toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    return u"server-output-"_s + fileNamePart(serial, u"device"_s) + u'-' +
           QString::fromLatin1(hash) + u".log"_s;
}

ServerOutput::ServerOutput(int fd, QString path) : fd_(fd), path_(std::move(path)) {}

ServerOutput::ServerOutput(ServerOutput&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

ServerOutput& ServerOutput::operator=(ServerOutput&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

ServerOutput::~ServerOutput() {
    close();
}

void ServerOutput::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    path_.clear();
}

QString ServerOutput::tail(int count) const {
    return fd_ < 0 ? QString() : tailOf(fd_, count);
}

} // namespace ostrel
