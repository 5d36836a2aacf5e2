// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace ostrel {

// The file a server launched on one device prints into, made anew for each
// launch (see ServerOutputFolder) and kept open: the child writes through
// the descriptor and the tail is read back through it, so nothing planted at
// the file's name or its folder's is ever followed, truncated or waited on.
class ServerOutput {
public:
    // No file: the server's output goes to the null device.
    ServerOutput() = default;
    // Takes over `fd`, open for reading and writing, of the file made at `path`.
    ServerOutput(int fd, QString path);

    ServerOutput(ServerOutput&& other) noexcept;
    ServerOutput& operator=(ServerOutput&& other) noexcept;
    ServerOutput(const ServerOutput&) = delete;
    ServerOutput& operator=(const ServerOutput&) = delete;
    ~ServerOutput();

    // Open for reading and writing; -1 when there is no file.
    int descriptor() const { return fd_; }
    // Where the file was made, for messages and tests; empty when none.
    const QString& path() const { return path_; }

    // The last `count` lines the server printed, as console text: each
    // indented by four spaces, shown as visibleText() shows outside text,
    // and ending in "\r\n". Empty when it printed nothing or there is no file.
    QString tail(int count = 10) const;

private:
    void close();

    int fd_ = -1;
    QString path_;
};

// The file's name for `serial`: its printable part, so that a person finds
// it, and a hash of the whole, so that two serials never share one.
QString serverOutputName(const QString& serial);

// The name of the program's own folder for these files, below the runtime
// folder.
QString serverOutputFolderName();

} // namespace ostrel
