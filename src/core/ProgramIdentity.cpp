// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ProgramIdentity.h"

#include <QCoreApplication>

namespace ostrel {

void applyProgramIdentity() {
    QCoreApplication::setOrganizationName(OrganizationName);
    QCoreApplication::setApplicationName(ProgramName);
    QCoreApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION));
}

} // namespace ostrel
