// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ScreenPosition.h"

#include <QtMath>

#include <algorithm>

QRect pictureRectFor(QSize deviceArea, QSize frameSize) {
    if (deviceArea.isEmpty() || frameSize.isEmpty())
        return {};
    const QSize picture = frameSize.scaled(deviceArea, Qt::KeepAspectRatio);
    const QPoint corner((deviceArea.width() - picture.width()) / 2,
                        (deviceArea.height() - picture.height()) / 2);
    return {corner, picture};
}

std::optional<QPoint> framePositionFor(QPointF widgetPosition, QSize widgetSize,
                                       qreal devicePixelRatio, QSize frameSize) {
    const QSize deviceArea(qRound(widgetSize.width() * devicePixelRatio),
                           qRound(widgetSize.height() * devicePixelRatio));
    const QRect picture = pictureRectFor(deviceArea, frameSize);
    if (picture.isEmpty())
        return std::nullopt;
    const QPointF device = widgetPosition * devicePixelRatio - QPointF(picture.topLeft());
    if (device.x() < 0 || device.y() < 0 || device.x() >= picture.width() ||
        device.y() >= picture.height())
        return std::nullopt;
    const int x = qFloor(device.x() * frameSize.width() / picture.width());
    const int y = qFloor(device.y() * frameSize.height() / picture.height());
    return QPoint(std::min(x, frameSize.width() - 1), std::min(y, frameSize.height() - 1));
}
