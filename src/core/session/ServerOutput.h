#pragma once

#include <QString>

namespace ostrel {

// The file a server launched on one device prints into, made anew for each
// launch and kept open: the child writes through the descriptor and the tail
// is read back through it, so nothing planted at the file's name or its
// folder's is ever followed, truncated or waited on.
class ServerOutput {
public:
    // No file: the server's output goes to the null device.
    ServerOutput() = default;
    // A fresh, empty file of this user's alone for a launch on `serial`, in
    // the program's own folder below the runtime folder (the cache folder
    // when there is none). No file when none could be made safely.
    static ServerOutput createFor(const QString& serial);

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
    // indented by four spaces and ending in "\r\n". Empty when it printed
    // nothing or there is no file.
    QString tail(int count = 10) const;

private:
    ServerOutput(int fd, QString path);
    void close();

    int fd_ = -1;
    QString path_;
};

// The file's name for `serial`: its printable part, so that a person finds
// it, and a hash of the whole, so that two serials never share one.
QString serverOutputName(const QString& serial);

// The program's own folder for these files, where it is looked for first.
// Empty when there is neither a runtime nor a cache folder.
QString serverOutputFolder();

// The former path-based calls, kept until the session passes a descriptor:
// the first makes the fresh file as createFor() does and gives its path, the
// second reads it without following a link or waiting on a pipe.
QString serverOutputFile(const QString& serial);
QString serverOutputTail(const QString& path, int count = 10);

} // namespace ostrel
