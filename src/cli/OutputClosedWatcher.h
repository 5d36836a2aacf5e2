// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace ostrel::cli {

// Tells when the reader of a pipe or socket the program writes to has gone
// (`| head -1` having read its line), without writing to it: a command that
// may wait long between lines must not outlive its reader. Other kinds of
// output (a terminal, a file) never close under the program; for those it
// never tells.
class OutputClosedWatcher : public QObject {
    Q_OBJECT

public:
    explicit OutputClosedWatcher(int fd, QObject* parent = nullptr);
    ~OutputClosedWatcher() override;

Q_SIGNALS:
    void closed();

private:
    void check();

    int fd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace ostrel::cli
