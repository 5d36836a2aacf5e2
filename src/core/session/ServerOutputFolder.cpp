// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/ServerOutputFolder.h"

#include "core/process/SearchFolders.h"
#include "core/session/OwnedDescriptor.h"
#include "core/text/VisibleText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

struct Folder {
    int fd = -1;
    QString path;
    QString why; // when there is no descriptor: why, in the user's words
};

QString shown(const QString& path) {
    return visibleText(path);
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

Folder refused(const QString& why) {
    return Folder{-1, {}, why};
}

// Ours alone: a folder of this user's that nobody else may enter or list. A
// link at its name is not followed, whatever it points at.
Folder openPrivateFolder(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::lstat(name.constData(), &status) != 0)
        return refused(u"%1 could not be made: %2"_s.arg(shown(path), systemError()));
    if (S_ISLNK(status.st_mode))
        return refused(u"%1 is a link"_s.arg(shown(path)));
    OwnedDescriptor fd(::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0 && (errno == ENOTDIR || errno == ELOOP))
        return refused(u"%1 is not a folder"_s.arg(shown(path)));
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0)
        return refused(u"%1 could not be opened: %2"_s.arg(shown(path), systemError()));
    if (status.st_uid != ::geteuid())
        return refused(u"%1 belongs to another user"_s.arg(shown(path)));
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return refused(u"%1 is open to other users (mode %2)"_s.arg(
            shown(path), QString::number(status.st_mode & 07777, 8)));
    return Folder{fd.release(), path, {}};
}

// The usual folder, made when it is missing; one that is there already is
// taken only as it is.
Folder openOwnFolder(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    ::mkdir(QFile::encodeName(path).constData(), S_IRWXU);
    return openPrivateFolder(path);
}

// A fresh file in the folder: whatever had its name (a link, a pipe, an
// earlier run's file) is removed first, and the file is made only if nothing
// took the name again in between.
ServerOutput createFreshFile(int folder, const QString& folderPath, const QString& serial) {
    const QString name = serverOutputName(serial);
    const QByteArray encoded = QFile::encodeName(name);
    ::unlinkat(folder, encoded.constData(), 0);
    OwnedDescriptor fd(::openat(folder, encoded.constData(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                                S_IRUSR | S_IWUSR));
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    return ServerOutput(fd.release(), folderPath + u'/' + name);
}

// Where a run's own folder is made: beside the usual one, whose parent is
// the user's, or else in the temporary folder.
QStringList runFolderTemplates(const QString& usual) {
    QStringList templates;
    if (!usual.isEmpty())
        templates << usual + u"-XXXXXX"_s;
    const QString temporary = QDir::tempPath();
    templates << (isNamedInFull(temporary) ? temporary : u"/tmp"_s) + u'/' +
                     serverOutputFolderName() + u"-XXXXXX"_s;
    return templates;
}

Folder makePrivateFolder(const QStringList& templates) {
    for (const QString& pattern : templates) {
        QByteArray path = QFile::encodeName(pattern);
        if (::mkdtemp(path.data()) == nullptr)
            continue;
        const Folder made = openPrivateFolder(QFile::decodeName(path));
        if (made.fd >= 0)
            return made;
    }
    return refused(systemError());
}

// Only files are ever made in a run's folder.
void removeEverythingIn(int folder) {
    DIR* listing = ::fdopendir(::dup(folder));
    if (listing == nullptr)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(listing);
}

QString ignoredRuntimeFolder(const QString& runtime, const QString& why) {
    return u"Note: XDG_RUNTIME_DIR (%1) %2, so it is ignored.\r\n"_s.arg(shown(runtime), why);
}

} // namespace

UsualServerOutputFolder usualServerOutputFolder() {
    // Without the variable Qt makes up a folder in /tmp and warns on standard
    // error, which a script reading the command line's output would take for
    // a failure. The runtime folder belongs to every program of the user, so
    // ours is a folder named for us inside it.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString note;
    if (!runtime.isEmpty()) {
        if (!isNamedInFull(runtime))
            note = ignoredRuntimeFolder(runtime, u"is not named in full"_s);
        else if (!QFileInfo(runtime).isDir())
            note = ignoredRuntimeFolder(runtime, u"is not a folder"_s);
        else
            return {runtime + u'/' + serverOutputFolderName(), {}};
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    return {isNamedInFull(cache) ? cache : QString(), note};
}

ServerOutputFolder::~ServerOutputFolder() {
    if (runFd_ < 0)
        return;
    removeEverythingIn(runFd_);
    ::close(runFd_);
    ::rmdir(QFile::encodeName(runPath_).constData());
}

ServerOutputFolder::Made ServerOutputFolder::createFor(const QString& serial) {
    QString note;
    if (runFd_ < 0) {
        const UsualServerOutputFolder usual = usualServerOutputFolder();
        note += once(usual.note);
        const Folder own = usual.path.isEmpty()
                               ? refused(u"there is no runtime or cache folder named in full"_s)
                               : openOwnFolder(usual.path);
        QString why = own.why;
        if (own.fd >= 0) {
            const OwnedDescriptor folder(own.fd);
            ServerOutput output = createFreshFile(folder.get(), own.path, serial);
            if (output.descriptor() >= 0)
                return {std::move(output), note};
            why = u"%1 could not be made in %2"_s.arg(serverOutputName(serial), shown(own.path));
        }
        note += once(makeRunFolder(usual.path, why));
    }
    if (runFd_ < 0)
        return {ServerOutput(), note};
    return {createFreshFile(runFd_, runPath_, serial), note};
}

// Says why the usual folder was passed over, and where the output goes instead.
QString ServerOutputFolder::makeRunFolder(const QString& usual, const QString& why) {
    const Folder made = makePrivateFolder(runFolderTemplates(usual));
    if (made.fd < 0)
        return u"Note: %1, and no folder of this run's own could be made (%2), so the "
               "server's output is not kept.\r\n"_s.arg(why, made.why);
    runFd_ = made.fd;
    runPath_ = made.path;
    return u"Note: %1, so the server's output is kept in %2 until the program ends.\r\n"_s.arg(
        why, shown(runPath_));
}

QString ServerOutputFolder::once(const QString& note) {
    if (note.isEmpty() || said_.contains(note))
        return {};
    said_.append(note);
    return note;
}

} // namespace ostrel
