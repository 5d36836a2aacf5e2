// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/SearchFolders.h"

#include <QDir>

namespace ostrel {

bool isNamedInFull(const QString& folder) {
    return !folder.isEmpty() && QDir::isAbsolutePath(folder);
}

PathFolders pathFolders(const QString& path) {
    PathFolders folders;
    for (const QString& folder : path.split(QDir::listSeparator(), Qt::SkipEmptyParts)) {
        if (isNamedInFull(folder))
            folders.searched.append(folder);
        else
            folders.ignored.append(folder);
    }
    return folders;
}

} // namespace ostrel
