// SPDX-License-Identifier: GPL-3.0-or-later
// A phone's screen that never rests, for bench/viewer_bench.py: a feed of
// text rows scrolling under a fixed bar, and a soft photo-like band sliding
// across it, drawn full-screen at a steady rate on the display it is started
// on. Frame n is always the same picture and the frames follow each other at
// the same pace, so every run hands the viewers the same work: flat colour,
// text edges and smooth gradients, as a phone's screen mixes them.
//
//     moving_picture [--fps N]   (default 30; the screen server sends at most 60)
#include <QColor>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRasterWindow>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace {

constexpr int barHeight = 120;
constexpr int rowHeight = 220;
constexpr int scrollPerFrame = 9;
constexpr int photoTop = 900;
constexpr int photoHeight = 560;

class MovingPicture : public QRasterWindow {
public:
    explicit MovingPicture(int framesPerSecond) {
        setFlags(Qt::Window | Qt::FramelessWindowHint);
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1000 / framesPerSecond);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            ++m_frame;
            update();
        });
        m_timer.start();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintFeed(painter);
        paintPhoto(painter);
        paintBar(painter);
    }

private:
    void paintFeed(QPainter& painter) const {
        const int scrolled = m_frame * scrollPerFrame;
        painter.fillRect(QRect(QPoint(), size()), QColor(250, 250, 248));
        QFont title = QGuiApplication::font();
        title.setPixelSize(44);
        QFont body = QGuiApplication::font();
        body.setPixelSize(32);
        for (int row = scrolled / rowHeight; row * rowHeight - scrolled < height(); ++row) {
            const int top = barHeight + row * rowHeight - scrolled;
            const QColor tint = QColor::fromHsv((row * 47) % 360, 120, 220);
            painter.fillRect(QRect(40, top + 40, 140, 140), tint);
            painter.setPen(QColor(30, 30, 30));
            painter.setFont(title);
            painter.drawText(QRect(220, top + 40, width() - 260, 60),
                             Qt::AlignLeft | Qt::AlignVCenter,
                             QStringLiteral("Message %1").arg(row));
            painter.setPen(QColor(100, 100, 100));
            painter.setFont(body);
            painter.drawText(QRect(220, top + 110, width() - 260, 60),
                             Qt::AlignLeft | Qt::AlignVCenter,
                             QStringLiteral("Seen %1 min ago, reply when you can").arg(row % 60));
            painter.fillRect(QRect(40, top + rowHeight - 2, width() - 80, 2),
                             QColor(220, 220, 220));
        }
    }

    // The band JPEG is there for: gradients with nothing flat to find.
    void paintPhoto(QPainter& painter) const {
        const QRect band(0, photoTop, width(), photoHeight);
        QLinearGradient sky(band.topLeft(), band.bottomLeft());
        sky.setColorAt(0, QColor::fromHsv((m_frame * 2) % 360, 90, 240));
        sky.setColorAt(1, QColor::fromHsv((m_frame * 2 + 150) % 360, 160, 120));
        painter.fillRect(band, sky);
        const double phase = m_frame * 0.05;
        const QPointF centre(width() / 2.0 + std::sin(phase) * width() * 0.35,
                             photoTop + photoHeight / 2.0 +
                                 std::cos(phase * 1.3) * photoHeight * 0.25);
        QRadialGradient sun(centre, 220);
        sun.setColorAt(0, QColor(255, 250, 220));
        sun.setColorAt(0.6, QColor(255, 190, 90, 180));
        sun.setColorAt(1, QColor(255, 190, 90, 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(sun);
        painter.drawEllipse(centre, 220, 220);
    }

    void paintBar(QPainter& painter) const {
        painter.fillRect(QRect(0, 0, width(), barHeight), QColor(32, 40, 56));
        QFont clock = QGuiApplication::font();
        clock.setPixelSize(48);
        painter.setFont(clock);
        painter.setPen(Qt::white);
        painter.drawText(QRect(40, 0, width() - 80, barHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("%1:%2")
                             .arg(m_frame / 3600 % 24, 2, 10, QLatin1Char('0'))
                             .arg(m_frame / 60 % 60, 2, 10, QLatin1Char('0')));
    }

    QTimer m_timer;
    int m_frame = 0;
};

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption fps(QStringLiteral("fps"), QStringLiteral("Frames per second."),
                                 QStringLiteral("N"), QStringLiteral("30"));
    parser.addOption(fps);
    parser.process(application);
    const int framesPerSecond = parser.value(fps).toInt();
    if (framesPerSecond < 1 || framesPerSecond > 1000)
        parser.showHelp(1);

    MovingPicture picture(framesPerSecond);
    picture.setGeometry(QGuiApplication::primaryScreen()->geometry());
    picture.show();
    return QGuiApplication::exec();
}
