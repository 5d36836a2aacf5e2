// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <optional>

class RfbConnection;

namespace ostrel {

// The phone's screen, scaled to the widget with its shape kept. Its mouse and
// key events are the phone's: the left button touches, the right one is Back,
// the wheel scrolls, keys type. Input goes to the connection only while it is live.
class ScreenView : public QWidget {
    Q_OBJECT

public:
    explicit ScreenView(QWidget* parent = nullptr);

    // The connection whose screen is drawn, or none.
    void setConnection(RfbConnection* connection);
    // Whether input reaches the connection; a view that stops being live
    // lets go of what it held.
    void setLive(bool live);
    QSize frameSize() const { return m_frameSize; }
    void setFrameSize(QSize size);
    void setCursorShape(const QImage& shape, QPoint hotspot);

    QSize sizeHint() const override;

Q_SIGNALS:
    // The right button was pressed: the phone's Back, which its server cannot press.
    void backClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void repaintFrameRegion(const QRegion& region);
    void paintPicture(QPainter& painter, const QRect& area, const QImage& image);
    QRect devicePicture(QSize frameSize) const;
    QRect widgetRectFor(const QRect& frameRect) const;
    std::optional<QPoint> framePosition(QPointF widgetPosition) const;
    void touch(QPoint framePosition, bool down);
    void letGo();
    void applyCursor();

    QPointer<RfbConnection> m_connection;
    QSize m_frameSize;
    bool m_live = false;
    std::optional<QPoint> m_touchAt;
    int m_wheelRemainder = 0;
    QHash<int, quint32> m_keysDown;
    QImage m_cursorShape;
    QPoint m_cursorHotspot;
};

} // namespace ostrel
