// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/session/ServerOutput.h"

#include <QString>
#include <QStringList>

namespace ostrel {

// Where the servers launched in one program run print. The usual folder is
// the program's own below the runtime folder (the cache folder when there is
// none), made when missing. When it cannot be used safely (a link, not a
// folder, someone else's, open to others) the run makes one private folder
// of its own instead, which every later launch uses too and which goes, with
// what it holds, when the run ends.
class ServerOutputFolder {
public:
    ServerOutputFolder() = default;
    ~ServerOutputFolder();
    ServerOutputFolder(const ServerOutputFolder&) = delete;
    ServerOutputFolder& operator=(const ServerOutputFolder&) = delete;

    struct Made {
        ServerOutput output; // no file when none could be made safely
        // Lines for the user, each said once a run: why the environment's
        // folder or the usual one was passed over, and where the output went.
        QString note;
    };
    // A fresh, empty file of this user's alone for a launch on `serial`;
    // whatever had its name is removed first, and nothing is followed.
    Made createFor(const QString& serial);

    // This run's private folder; empty until one was needed.
    const QString& runFolder() const { return runPath_; }

private:
    QString makeRunFolder(const QString& usual, const QString& why);
    QString once(const QString& note);

    int runFd_ = -1;
    QString runPath_;
    QStringList said_;
};

// The usual folder as the environment names it, and a line for the user
// when an XDG_RUNTIME_DIR is passed over, as the base-directory convention
// asks of one that is relative or no folder. The path is empty when there is
// no usual folder named in full.
struct UsualServerOutputFolder {
    QString path;
    QString note;
};
UsualServerOutputFolder usualServerOutputFolder();

} // namespace ostrel
