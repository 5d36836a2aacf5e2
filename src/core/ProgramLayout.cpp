#include "core/ProgramLayout.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace ostrel {

QStringList windowProgramCandidates(const QString& launcherFolder) {
    const QDir folder(launcherFolder);
    return {QDir::cleanPath(folder.filePath(u"../"_s + PrivateProgramFolder + u'/' +
                                            WindowProgramName)),
            folder.filePath(WindowProgramName)};
}

QString launcherFolder(const QString& applicationDirPath) {
    const QString folder = QDir::cleanPath(applicationDirPath);
    if (!folder.endsWith(u'/' + PrivateProgramFolder))
        return folder;
    return QDir::cleanPath(folder + u"/../../bin"_s);
}

} // namespace ostrel
