// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/OutputClosedWatcher.h"

#include <QSocketNotifier>

#include <poll.h>
#include <sys/stat.h>

namespace ostrel::cli {

OutputClosedWatcher::OutputClosedWatcher(int fd, QObject* parent) : QObject(parent), fd_(fd) {
    struct stat status {};
    if (fstat(fd_, &status) != 0 || !(S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)))
        return;
    // The event loop reports an error on a descriptor to its read notifier;
    // the write end of a pipe is never readable otherwise.
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &OutputClosedWatcher::check);
}

OutputClosedWatcher::~OutputClosedWatcher() = default;

void OutputClosedWatcher::check() {
    pollfd output{fd_, 0, 0};
    const bool gone = poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0;
    // A socket whose reader wrote to it stays readable: told once, or it
    // would be told without end.
    notifier_->setEnabled(false);
    if (gone)
        Q_EMIT closed();
}

} // namespace ostrel::cli
