// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/PhoneScreen.h"

namespace ostrel::e2e {

// Red and green carry the column and the row, blue a 32-pixel chequer.
QImage expectedScreen(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int blue = ((x / 32) + (y / 32)) % 2 ? 0xC0 : 0x40;
            line[x] = qRgb(x % 256, y % 256, blue);
        }
    }
    return image;
}

} // namespace ostrel::e2e
