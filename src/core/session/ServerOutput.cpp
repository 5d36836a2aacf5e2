#include "core/session/ServerOutput.h"

#include "core/text/VisibleText.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
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

// Closes what it holds unless told to let go.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Ours alone: a folder of this user's that nobody else may enter or list.
bool isPrivateFolder(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// A link at the folder's name is not followed, whatever it points at.
int openPrivateFolder(const QString& path) {
    Descriptor fd(::open(QFile::encodeName(path).constData(),
                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0 || !isPrivateFolder(fd.get()))
        return -1;
    return fd.release();
}

struct Folder {
    int fd = -1;
    QString path;
};

// The own folder, made when it is missing. One that is a link, someone
// else's or open to others is left as it is, and a fresh one made beside it.
Folder openOwnFolder() {
    const QString path = serverOutputFolder();
    if (path.isEmpty())
        return {};
    QDir().mkpath(QFileInfo(path).absolutePath());
    ::mkdir(QFile::encodeName(path).constData(), S_IRWXU);
    if (const int fd = openPrivateFolder(path); fd >= 0)
        return {fd, path};
    QByteArray fresh = QFile::encodeName(path + u"-XXXXXX"_s);
    if (::mkdtemp(fresh.data()) == nullptr)
        return {};
    const QString freshPath = QFile::decodeName(fresh);
    return {openPrivateFolder(freshPath), freshPath};
}

// A fresh file in the folder: whatever had its name (a link, a pipe, an
// earlier run's file) is removed first, and the file is made only if nothing
// took the name again in between.
int createFreshFile(int folder, const QByteArray& name) {
    ::unlinkat(folder, name.constData(), 0);
    Descriptor fd(::openat(folder, name.constData(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                           S_IRUSR | S_IWUSR));
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return -1;
    return fd.release();
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

QString serverOutputFolder() {
    // Without the variable Qt makes up a folder in /tmp and warns on standard
    // error, which a script reading the command line's output would take for
    // a failure. The runtime folder belongs to every program of the user, so
    // ours is a folder named for us inside it.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + u'/' +
               fileNamePart(QCoreApplication::applicationName(), u"ostrel-dravik"_s);
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
}

QString serverOutputName(const QString& serial) {
    const QByteArray hash =
        QCryptographicHash::hash(serial.toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    return u"server-output-"_s + fileNamePart(serial, u"device"_s) + u'-' +
           QString::fromLatin1(hash) + u".log"_s;
}

ServerOutput ServerOutput::createFor(const QString& serial) {
    const Folder folder = openOwnFolder();
    if (folder.fd < 0)
        return {};
    const Descriptor folderFd(folder.fd);
    const QString name = serverOutputName(serial);
    const int fd = createFreshFile(folderFd.get(), QFile::encodeName(name));
    if (fd < 0)
        return {};
    return ServerOutput(fd, folder.path + u'/' + name);
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

QString serverOutputFile(const QString& serial) {
    return ServerOutput::createFor(serial).path();
}

QString serverOutputTail(const QString& path, int count) {
    if (path.isEmpty())
        return {};
    const Descriptor fd(::open(QFile::encodeName(path).constData(),
                               O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    return fd.get() < 0 ? QString() : tailOf(fd.get(), count);
}

} // namespace ostrel
