// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/ProgramHandOver.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

namespace ostrel::launch {

namespace {

// The status of a state not reached, as the command line gives it.
constexpr int NotReached = 1;

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

bool hasDisplay(bool platformNamed) {
#ifdef __linux__
    return platformNamed || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") ||
           isSet("QT_QPA_PLATFORM");
#else
    (void)platformNamed;
    return true;
#endif
}

// Says in one line why the process goes no further; the exit status to give.
int refuse(const std::string& line) {
    std::fputs((line + '\n').c_str(), stderr);
    std::fflush(stderr);
    return NotReached;
}

// Replaces this process with `file`, `marker` in its environment. Returns
// only when that failed, with the reason.
int startInstead(const std::string& file, char* argv[], const std::string& marker) {
    ::setenv(HandOverVariable, marker.c_str(), 1);
    ::execv(file.c_str(), argv);
    const int failure = errno;
    ::unsetenv(HandOverVariable);
    return failure;
}

// This very executable, links resolved.
std::string ownExecutable() {
    char path[PATH_MAX] = {};
#ifdef __APPLE__
    char unresolved[PATH_MAX] = {};
    uint32_t size = sizeof unresolved;
    if (_NSGetExecutablePath(unresolved, &size) != 0 || ::realpath(unresolved, path) == nullptr)
        return {};
#else
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    path[length] = '\0';
#endif
    return path;
}

std::string folderOf(const std::string& file) {
    return file.substr(0, file.find_last_of('/'));
}

// Whether `candidate`, links followed, is the file this process runs: the
// same device and inode, whatever the names.
bool isThisProgram(const std::string& candidate, const std::string& self) {
#ifdef __linux__
    // The file itself, even when its name has been given to another since.
    const char* const running = "/proc/self/exe";
#else
    const char* const running = self.c_str();
#endif
    struct stat mine {};
    struct stat theirs {};
    return !self.empty() && ::stat(running, &mine) == 0 &&
           ::stat(candidate.c_str(), &theirs) == 0 && mine.st_dev == theirs.st_dev &&
           mine.st_ino == theirs.st_ino;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string withoutTrailingSlashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

} // namespace

std::vector<std::string> programCandidates(const std::string& ownFolder, const char* program) {
    const std::string folder = withoutTrailingSlashes(ownFolder);
    if (folder.empty() || folder.front() != '/')
        return {};
    const std::string beside = folder + '/' + program;
    if (endsWith(folder, std::string("/") + PrivateFolder))
        return {beside};
    const std::string parent = folder.substr(0, folder.find_last_of('/'));
    return {parent + '/' + PrivateFolder + '/' + program, beside};
}

std::string launcherFolder(const std::string& ownFolder) {
    const std::string folder = withoutTrailingSlashes(ownFolder);
    if (!endsWith(folder, std::string("/") + PrivateFolder))
        return folder;
    return folder.substr(0, folder.size() - std::strlen(PrivateFolder)) + "bin";
}

int handOver(const char* program, char* argv[], const HandOverTrail& trail) {
    const std::string self = ownExecutable();
    if (trail.contains(program))
        return refuse("Error: " + std::string(program) +
                      " was already started on the way here, so " + self +
                      " is not the program it should be; install the program again.");
    std::string tried = program;
    int failure = ENOENT;
    for (const std::string& candidate : programCandidates(folderOf(self), program)) {
        if (isThisProgram(candidate, self))
            return refuse("Error: " + candidate + " is not " + program +
                          " but this same program (" + self +
                          "), which would start itself for ever; install the program again.");
        failure = startInstead(candidate, argv, trail.markerWith(program));
        tried = candidate;
        // Only a missing file sends us on to the next place.
        if (failure != ENOENT)
            break;
    }
    return refuse("Error: " + tried + " could not be started: " + std::strerror(failure) + ".");
}

int openWindow(char* argv[], bool platformNamed, const HandOverTrail& trail,
               const std::string& verbs) {
    return openWindowFor(argv, platformNamed, trail,
                         "Error: there is no display to open the window on; the verbs (" + verbs +
                             ") work without one.");
}

int openWindowFor(char* argv[], bool platformNamed, const HandOverTrail& trail,
                  const std::string& noDisplayLine) {
    if (!hasDisplay(platformNamed))
        return refuse(noDisplayLine);
    return handOver(WindowProgram, argv, trail);
}

} // namespace ostrel::launch
