// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace ostrel {

// A folder the environment names (a PATH entry, an SDK root, the runtime
// folder) counts only when named in full: a relative one names a different
// folder for every place the program is started from, so what it runs or
// writes would be up to whoever chose that place.
bool isNamedInFull(const QString& folder);

// PATH's folders, in order: those that are searched, and the non-empty ones
// left out for being relative. An empty entry, the shell's old spelling of
// the current folder, is left out without a word, as it was always.
struct PathFolders {
    QStringList searched;
    QStringList ignored;
};
PathFolders pathFolders(const QString& path);

} // namespace ostrel
