// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/viewer/ScreenView.h"

#include "viewer/ButtonMask.h"
#include "viewer/KeySymbol.h"
#include "viewer/RfbConnection.h"
#include "viewer/ScreenPosition.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QWheelEvent>
#include <QtMath>

namespace ostrel {

namespace {

constexpr int touchMask = 1;
constexpr int wheelStep = 120;
// Smooth scaling reads neighbouring pixels: a changed rectangle is redrawn
// with a rim of its surroundings so its edges blend as a whole repaint would.
constexpr int blendRim = 2;

} // namespace

ScreenView::ScreenView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("screenView"));
    setFocusPolicy(Qt::StrongFocus);
    // Every pixel is painted here, picture or margin.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void ScreenView::setConnection(RfbConnection* connection) {
    if (m_connection != nullptr)
        disconnect(m_connection, nullptr, this, nullptr);
    setLive(false);
    m_connection = connection;
    m_cursorShape = QImage();
    applyCursor();
    if (connection != nullptr)
        connect(connection, &RfbConnection::frameRegionChanged, this,
                &ScreenView::repaintFrameRegion);
    update();
}

void ScreenView::setLive(bool live) {
    if (!live)
        letGo();
    m_live = live;
}

void ScreenView::setFrameSize(QSize size) {
    m_frameSize = size;
    applyCursor();
    update();
}

void ScreenView::setCursorShape(const QImage& shape, QPoint hotspot) {
    m_cursorShape = shape;
    m_cursorHotspot = hotspot;
    applyCursor();
}

QSize ScreenView::sizeHint() const {
    // A phone held upright, until the phone says otherwise.
    return {360, 760};
}

QRect ScreenView::devicePicture(QSize frameSize) const {
    const qreal ratio = devicePixelRatioF();
    return pictureRectFor(QSize(qRound(width() * ratio), qRound(height() * ratio)), frameSize);
}

QRect ScreenView::widgetRectFor(const QRect& frameRect) const {
    const QRect picture = devicePicture(m_frameSize);
    if (picture.isEmpty())
        return rect();
    const qreal scaleX = qreal(picture.width()) / m_frameSize.width();
    const qreal scaleY = qreal(picture.height()) / m_frameSize.height();
    const qreal ratio = devicePixelRatioF();
    const QRectF device(picture.left() + frameRect.left() * scaleX,
                        picture.top() + frameRect.top() * scaleY, frameRect.width() * scaleX,
                        frameRect.height() * scaleY);
    const QRectF logical(device.topLeft() / ratio, device.size() / ratio);
    return logical.toAlignedRect().adjusted(-blendRim, -blendRim, blendRim, blendRim);
}

void ScreenView::repaintFrameRegion(const QRegion& region) {
    QRegion changed;
    for (const QRect& rect : region)
        changed += widgetRectFor(rect);
    update(changed);
}

void ScreenView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (m_connection == nullptr) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    // Rectangle by rectangle: the bounding rectangle of two small changes far
    // apart would redraw most of the screen.
    m_connection->readImage([&](const QImage& image) {
        for (const QRect& area : event->region()) {
            // The rim drawn around an area must not spill onto a neighbour
            // already drawn.
            painter.setClipRect(area);
            paintPicture(painter, area, image);
        }
    });
}

// Runs with the image held still: only drawing here, nothing that waits.
void ScreenView::paintPicture(QPainter& painter, const QRect& area, const QImage& image) {
    const QRect picture = devicePicture(image.size());
    const qreal ratio = devicePixelRatioF();
    const QRectF logicalPicture(QPointF(picture.topLeft()) / ratio, QSizeF(picture.size()) / ratio);
    if (picture.isEmpty() || !logicalPicture.contains(QRectF(area)))
        painter.fillRect(area, Qt::black);
    if (picture.isEmpty())
        return;
    const qreal scaleX = qreal(picture.width()) / image.width();
    const qreal scaleY = qreal(picture.height()) / image.height();
    const QRectF areaOnFrame((area.left() * ratio - picture.left()) / scaleX,
                             (area.top() * ratio - picture.top()) / scaleY,
                             area.width() * ratio / scaleX, area.height() * ratio / scaleY);
    const QRect source =
        areaOnFrame.toAlignedRect().adjusted(-blendRim, -blendRim, blendRim, blendRim) &
        image.rect();
    if (source.isEmpty())
        return;
    const QRectF target((picture.left() + source.left() * scaleX) / ratio,
                        (picture.top() + source.top() * scaleY) / ratio,
                        source.width() * scaleX / ratio, source.height() * scaleY / ratio);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image, source);
}

void ScreenView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyCursor();
}

std::optional<QPoint> ScreenView::framePosition(QPointF widgetPosition) const {
    return framePositionFor(widgetPosition, size(), devicePixelRatioF(), m_frameSize);
}

void ScreenView::touch(QPoint framePosition, bool down) {
    m_touchAt = down ? std::optional<QPoint>(framePosition) : std::nullopt;
    m_connection->sendPointer(framePosition, down ? touchMask : 0);
}

void ScreenView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        Q_EMIT backClicked();
        return;
    }
    if (!m_live || event->button() != Qt::LeftButton || m_touchAt)
        return;
    if (const auto position = framePosition(event->position()))
        touch(*position, true);
}

void ScreenView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_live || !m_touchAt)
        return;
    const auto position =
        nearestFramePositionFor(event->position(), size(), devicePixelRatioF(), m_frameSize);
    if (position && *position != *m_touchAt)
        touch(*position, true);
}

void ScreenView::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_live || event->button() != Qt::LeftButton || !m_touchAt)
        return;
    const auto position =
        nearestFramePositionFor(event->position(), size(), devicePixelRatioF(), m_frameSize);
    touch(position.value_or(*m_touchAt), false);
}

// A wheel notch is a press and a release of its button; finer wheels add up
// to whole notches.
void ScreenView::wheelEvent(QWheelEvent* event) {
    if (!m_live)
        return;
    const auto position = framePosition(event->position());
    if (!position)
        return;
    m_wheelRemainder += event->angleDelta().y();
    const int held = m_touchAt ? touchMask : 0;
    while (qAbs(m_wheelRemainder) >= wheelStep) {
        const int direction = m_wheelRemainder > 0 ? wheelStep : -wheelStep;
        m_connection->sendPointer(*position, held | wheelMaskFor(direction));
        m_connection->sendPointer(*position, held);
        m_wheelRemainder -= direction;
    }
}

void ScreenView::keyPressEvent(QKeyEvent* event) {
    if (!m_live)
        return;
    const quint32 symbol = keySymbolFor(event->key(), event->text());
    if (symbol == 0)
        return;
    // The release goes out with the keysym the press had, even when a
    // modifier let go in between changed what the key types.
    if (!event->isAutoRepeat())
        m_keysDown.insert(event->key(), symbol);
    m_connection->sendKey(symbol, true);
}

void ScreenView::keyReleaseEvent(QKeyEvent* event) {
    if (!m_live || event->isAutoRepeat())
        return;
    const auto held = m_keysDown.constFind(event->key());
    if (held == m_keysDown.cend())
        return;
    m_connection->sendKey(*held, false);
    m_keysDown.erase(held);
}

void ScreenView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    letGo();
}

// Tab is a key for the phone, not a move to the next widget.
bool ScreenView::focusNextPrevChild(bool) {
    return false;
}

// Nothing stays pressed on the phone once this view no longer hears the
// release.
void ScreenView::letGo() {
    if (m_live && m_connection != nullptr) {
        if (m_touchAt)
            m_connection->sendPointer(*m_touchAt, 0);
        for (const quint32 symbol : std::as_const(m_keysDown))
            m_connection->sendKey(symbol, false);
    }
    m_touchAt.reset();
    m_keysDown.clear();
    m_wheelRemainder = 0;
}

// The server's pointer shape, at the size the picture is drawn.
void ScreenView::applyCursor() {
    const QRect picture = devicePicture(m_frameSize);
    if (m_cursorShape.isNull() || picture.isEmpty()) {
        unsetCursor();
        return;
    }
    const qreal scale = qreal(picture.width()) / m_frameSize.width();
    const QSize size(qMax(1, qRound(m_cursorShape.width() * scale)),
                     qMax(1, qRound(m_cursorShape.height() * scale)));
    QPixmap pixmap = QPixmap::fromImage(
        m_cursorShape.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    const qreal ratio = devicePixelRatioF();
    pixmap.setDevicePixelRatio(ratio);
    setCursor(QCursor(pixmap, qRound(m_cursorHotspot.x() * scale / ratio),
                      qRound(m_cursorHotspot.y() * scale / ratio)));
}

} // namespace ostrel
