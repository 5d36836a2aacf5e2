// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

#include <optional>

// The picture is laid out in device pixels, so that on a high-density display
// its edges fall on whole pixels and it is drawn sharp.
QRect pictureRectFor(QSize deviceArea, QSize frameSize);

// Where a point of the widget (in its logical pixels) falls on the server's
// screen; nothing when it lies in the margins beside the picture.
std::optional<QPoint> framePositionFor(QPointF widgetPosition, QSize widgetSize,
                                       qreal devicePixelRatio, QSize frameSize);

// The same for a touch already under way, which may wander off the picture:
// the point on the picture's edge nearest to it. Nothing without a picture.
std::optional<QPoint> nearestFramePositionFor(QPointF widgetPosition, QSize widgetSize,
                                              qreal devicePixelRatio, QSize frameSize);

// The size, in logical pixels, a window shows a screen of `frameSize` device
// pixels at: one to one where it fits `available`, else scaled down to fit.
QSize fittedViewSize(QSize frameSize, QSize available, qreal devicePixelRatio);
