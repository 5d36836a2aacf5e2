#include "core/device/DeviceListing.h"

#include <QRegularExpression>

#include <optional>

namespace ostrel {

namespace {

const char* const UnusableStates[] = {"unauthorized", "offline", "no permissions"};

// The serial is echoed to the console: keep out anything that is not printable.
QString printable(const QString& text) {
    QString result;
    for (QChar c : text) {
        if (c.isPrint())
            result.append(c);
    }
    return result;
}

// A device line is the serial, white space, then the state (and, with -l,
// further fields). The header and daemon messages never start that way.
std::optional<UnusableDevice> parseLine(const QString& line) {
    static const QRegularExpression deviceLine(QStringLiteral("^(\\S+)[ \\t]+(.*)$"));
    const QRegularExpressionMatch match = deviceLine.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    const QString rest = match.captured(2);
    for (const char* state : UnusableStates) {
        const QString name = QString::fromLatin1(state);
        if (rest == name || rest.startsWith(name + QLatin1Char(' ')) ||
            rest.startsWith(name + QLatin1Char('\t')))
            return UnusableDevice{printable(match.captured(1)), name};
    }
    return std::nullopt;
}

} // namespace

QList<UnusableDevice> unusableDevices(const QByteArray& listing) {
    QList<UnusableDevice> devices;
    const QStringList lines =
        QString::fromUtf8(listing).split(QRegularExpression(QStringLiteral("[\\r\\n]+")));
    for (const QString& line : lines) {
        if (std::optional<UnusableDevice> device = parseLine(line))
            devices.append(*device);
    }
    return devices;
}

QString unusableDeviceAdvice(const UnusableDevice& device) {
    if (device.state == QLatin1String("unauthorized"))
        return QStringLiteral("Device %1 is unauthorized: unlock it, accept the USB debugging "
                              "prompt on the device, then try again.\n")
            .arg(device.serial);
    if (device.state == QLatin1String("offline"))
        return QStringLiteral("Device %1 is offline: disconnect the USB cable and reconnect it, "
                              "then try again.\n")
            .arg(device.serial);
    return QStringLiteral("Device %1 cannot be used (no permissions): allow this computer's user "
                          "to access the device over USB, reconnect the cable, then try again.\n")
        .arg(device.serial);
}

} // namespace ostrel
