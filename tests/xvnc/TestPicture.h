// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace ostrel::test {

// A picture that gives each of a server's encodings work of every kind: flat
// areas, areas of few colours and areas where every pixel differs. Drawn on
// the X display by xvnc_picture, compared with what the viewer received.
inline QImage xvncTestPicture(QSize size) {
    QImage picture(size, QImage::Format_RGB32);
    const int third = size.height() / 3;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            if (y < third) {
                line[x] = x < size.width() / 2 ? qRgb(0x20, 0x90, 0xE0) : qRgb(0xF0, 0xF0, 0x10);
            } else if (y < 2 * third) {
                line[x] = ((x / 3) + (y / 5)) % 2 ? qRgb(0x10, 0x10, 0x10) : qRgb(0xFF, 0x80, 0x00);
            } else {
                const unsigned mixed =
                    static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u;
                line[x] = qRgb(mixed & 0xFF, (mixed >> 8) & 0xFF, (x * 7 + y) & 0xFF);
            }
        }
    }
    return picture;
}

// Where two images differ, for a failure message.
inline QString pictureDifference(const QImage& received, const QImage& expected) {
    if (received.size() != expected.size())
        return QStringLiteral("received %1x%2, expected %3x%4")
            .arg(received.width())
            .arg(received.height())
            .arg(expected.width())
            .arg(expected.height());
    const QImage left = received.convertToFormat(QImage::Format_RGB32);
    qsizetype differing = 0;
    QString first;
    for (int y = 0; y < left.height(); ++y)
        for (int x = 0; x < left.width(); ++x) {
            if (qRgb(qRed(left.pixel(x, y)), qGreen(left.pixel(x, y)), qBlue(left.pixel(x, y))) ==
                expected.pixel(x, y))
                continue;
            if (differing++ == 0)
                first = QStringLiteral("first at %1,%2: %3 for %4")
                            .arg(x)
                            .arg(y)
                            .arg(left.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                            .arg(expected.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
        }
    return QStringLiteral("%1 pixels differ, %2").arg(differing).arg(first);
}

inline bool samePicture(const QImage& received, const QImage& expected) {
    return received.size() == expected.size() &&
           received.convertToFormat(QImage::Format_RGB32) == expected;
}

} // namespace ostrel::test
