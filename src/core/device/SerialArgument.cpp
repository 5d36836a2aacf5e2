// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/SerialArgument.h"

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

QString unnameableSerial(QStringView serial) {
    if (serial.contains(QChar(0)))
        return u"adb cannot name a device whose serial holds a NUL character"_s;
    const qsizetype bytes = serial.toUtf8().size();
    if (bytes > MaxSerialBytes)
        return u"adb cannot name a device whose serial is %1 bytes long: an argument to adb may "
               "hold at most %2"_s.arg(bytes)
                   .arg(MaxSerialBytes);
    return {};
}

} // namespace ostrel
