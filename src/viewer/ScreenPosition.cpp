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

namespace {

QRect devicePictureRect(QSize widgetSize, qreal devicePixelRatio, QSize frameSize) {
    const QSize deviceArea(qRound(widgetSize.width() * devicePixelRatio),
                           qRound(widgetSize.height() * devicePixelRatio));
    return pictureRectFor(deviceArea, frameSize);
}

// `device` is relative to the picture's corner and lies on it.
QPoint frameFromPicture(QPointF device, QRect picture, QSize frameSize) {
    const int x = qFloor(device.x() * frameSize.width() / picture.width());
    const int y = qFloor(device.y() * frameSize.height() / picture.height());
    return {std::clamp(x, 0, frameSize.width() - 1), std::clamp(y, 0, frameSize.height() - 1)};
}

} // namespace

std::optional<QPoint> framePositionFor(QPointF widgetPosition, QSize widgetSize,
                                       qreal devicePixelRatio, QSize frameSize) {
    const QRect picture = devicePictureRect(widgetSize, devicePixelRatio, frameSize);
    if (picture.isEmpty())
        return std::nullopt;
    const QPointF device = widgetPosition * devicePixelRatio - QPointF(picture.topLeft());
    if (device.x() < 0 || device.y() < 0 || device.x() >= picture.width() ||
        device.y() >= picture.height())
        return std::nullopt;
    return frameFromPicture(device, picture, frameSize);
}

std::optional<QPoint> nearestFramePositionFor(QPointF widgetPosition, QSize widgetSize,
                                              qreal devicePixelRatio, QSize frameSize) {
    const QRect picture = devicePictureRect(widgetSize, devicePixelRatio, frameSize);
    if (picture.isEmpty())
        return std::nullopt;
    const QPointF device = widgetPosition * devicePixelRatio - QPointF(picture.topLeft());
    const QPointF onPicture(std::clamp(device.x(), 0.0, qreal(picture.width())),
                            std::clamp(device.y(), 0.0, qreal(picture.height())));
    return frameFromPicture(onPicture, picture, frameSize);
}

QSize fittedViewSize(QSize frameSize, QSize available, qreal devicePixelRatio) {
    if (frameSize.isEmpty() || available.isEmpty())
        return {};
    const QSize oneToOne(qCeil(frameSize.width() / devicePixelRatio),
                         qCeil(frameSize.height() / devicePixelRatio));
    if (oneToOne.width() <= available.width() && oneToOne.height() <= available.height())
        return oneToOne;
    return oneToOne.scaled(available, Qt::KeepAspectRatio);
}
