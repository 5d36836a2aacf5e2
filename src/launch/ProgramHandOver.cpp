#include "launch/ProgramHandOver.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

void printLine(const std::string& line) {
    std::fputs((line + '\n').c_str(), stderr);
    std::fflush(stderr);
}

// The folder of this very executable, links resolved.
std::string ownFolder() {
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
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('/'));
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

int handOver(const char* program, char* argv[]) {
    std::string tried = program;
    int failure = ENOENT;
    for (const std::string& candidate : programCandidates(ownFolder(), program)) {
        ::execv(candidate.c_str(), argv);
        // Only a missing file sends us on to the next place.
        failure = errno;
        tried = candidate;
        if (failure != ENOENT)
            break;
    }
    printLine("Error: " + tried + " could not be started: " + std::strerror(failure) + ".");
    return NotReached;
}

int openWindow(char* argv[], bool platformNamed) {
    if (!hasDisplay(platformNamed)) {
        printLine(
            "Error: there is no display to open the window on; the verbs (--devices, "
            "--start, --stop, --forward, --disconnect, --watch, --connect) work without one.");
        return NotReached;
    }
    return handOver(WindowProgram, argv);
}

} // namespace ostrel::launch
