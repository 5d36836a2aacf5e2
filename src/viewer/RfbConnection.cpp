// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/RfbConnection.h"

#include "viewer/RfbLogRoute.h"
#include "viewer/TcpConnect.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QRegion>
#include <QThread>
#include <QWaitCondition>

#include <rfb/rfbclient.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct InputEvent {
    bool isKey = false;
    QPoint position;
    int buttonMask = 0;
    quint32 keySymbol = 0;
    bool down = false;
    std::optional<QByteArray> cutText; // set: this event is cut text, nothing else
};

// Screens larger than this are refused rather than allocated: the size comes
// from the server and is not to be trusted.
constexpr qint64 largestFramePixels = 16384LL * 16384LL;

constexpr int connectTimeoutMs = 5000;

} // namespace

// What the GUI thread and the worker share. The worker holds it too, so the
// connection object may go away while the thread is still winding down.
struct RfbSharedState {
    RfbSharedState() {
        if (::pipe(wakePipe) != 0)
            wakePipe[0] = wakePipe[1] = -1;
    }
    ~RfbSharedState() {
        for (int end : wakePipe)
            if (end >= 0)
                ::close(end);
    }
    RfbSharedState(const RfbSharedState&) = delete;
    RfbSharedState& operator=(const RfbSharedState&) = delete;

    void wakeWorker() {
        if (wakePipe[1] >= 0) {
            const char byte = 1;
            [[maybe_unused]] const auto written = ::write(wakePipe[1], &byte, 1);
        }
    }

    // Runs f on the GUI thread with the owner, unless the owner is gone by then.
    template <typename F> void post(F f) {
        QMutexLocker lock(&mutex);
        if (owner != nullptr)
            QMetaObject::invokeMethod(
                owner, [o = owner, f] { f(o); }, Qt::QueuedConnection);
    }

    QMutex mutex;
    QWaitCondition passwordGiven;
    RfbConnection* owner = nullptr;
    QImage image;
    std::deque<InputEvent> inputs;
    std::optional<QByteArray> password;
    int socket = -1;
    bool stopping = false;
    int wakePipe[2] = {-1, -1};
};

namespace {

// The library finds our worker again by this key's address; it holds no value.
int clientDataTag;

class RfbWorker {
public:
    RfbWorker(std::shared_ptr<RfbSharedState> state, QString host, quint16 port,
              const RfbConnection::Encoding& encoding)
        : m_state(std::move(state)), m_host(std::move(host)), m_port(port), m_encoding(encoding),
          m_encodings(encoding.encodings.toLatin1()) {}

    void run() {
        keepBrokenPipesQuiet();
        rfbClient* client = newClient();
        const std::optional<RfbConnection::EndReason> failure = handshake(client);
        if (failure && !isStopping())
            endWith(*failure);
        if (!failure) {
            const QSize size(client->width, client->height);
            m_state->post([size](RfbConnection* o) { Q_EMIT o->connected(size); });
            serve(client);
        }
        withdrawSocket();
        releaseFrameMemory();
        releaseCursorMemory(client);
        rfbClientCleanup(client);
    }

private:
    // The library writes with plain write(): to a phone that went away that
    // raises SIGPIPE, which would end the program. Blocked on this thread
    // alone, the signal stays pending until the thread ends and the write
    // fails with EPIPE instead, which ends the connection as it should.
    static void keepBrokenPipesQuiet() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    }

    // The library's own start-up in its steps, so that a connection that
    // never came up is told apart from one the server ended.
    std::optional<RfbConnection::EndReason> handshake(rfbClient* client) {
        if (const auto failure = connect(client))
            return failure;
        if (!InitialiseRFBConnection(client))
            return m_passwordAsked ? RfbConnection::EndReason::PasswordRefused
                                   : RfbConnection::EndReason::Closed;
        client->width = client->si.framebufferWidth;
        client->height = client->si.framebufferHeight;
        client->updateRect = {0, 0, client->width, client->height};
        if (!client->MallocFrameBuffer(client) || !SetFormatAndEncodings(client) ||
            !SendFramebufferUpdateRequest(client, 0, 0, client->width, client->height, FALSE))
            return RfbConnection::EndReason::Closed;
        return std::nullopt;
    }

    // Our own connect rather than the library's, which blocks for its whole
    // timeout even after the window has been closed. The library then takes
    // the socket as its own, as it does with one it connected itself.
    std::optional<RfbConnection::EndReason> connect(rfbClient* client) {
        const TcpConnectResult result =
            connectTcp(m_host, m_port, connectTimeoutMs, m_state->wakePipe[0],
                       [this] { return isStopping(); });
        switch (result.outcome) {
        case TcpConnectResult::Outcome::Connected:
            break;
        case TcpConnectResult::Outcome::Refused:
            return RfbConnection::EndReason::Refused;
        case TcpConnectResult::Outcome::NoAnswer:
        case TcpConnectResult::Outcome::Interrupted:
            return RfbConnection::EndReason::NoAnswer;
        }
        client->sock = result.socket;
        if (!publishSocket(client->sock))
            return RfbConnection::EndReason::Closed;
        return std::nullopt;
    }

    static RfbWorker* of(rfbClient* client) {
        return static_cast<RfbWorker*>(rfbClientGetClientData(client, &clientDataTag));
    }

    rfbClient* newClient() {
        rfbClient* client = rfbGetClient(8, 3, 4);
        // Laid out as the native 32-bit word 0xRRGGBB, which is QImage's RGB32.
        client->format.redShift = 16;
        client->format.greenShift = 8;
        client->format.blueShift = 0;
        client->format.bigEndian = Q_BYTE_ORDER == Q_BIG_ENDIAN;
        // The library starts with an empty host string of its own.
        std::free(client->serverHost);
        client->serverHost = strdup(m_host.toUtf8().constData());
        client->serverPort = m_port;
        client->appData.useRemoteCursor = TRUE;
        client->GotCursorShape = takeCursorShape;
        client->MallocFrameBuffer = allocateFrame;
        client->GotFrameBufferUpdate = noteChange;
        client->FinishedFrameBufferUpdate = publishFrame;
        client->GetPassword = askPassword;
        client->GotXCutText = takeCutText;
        rfbClientSetClientData(client, &clientDataTag, this);
        applyEncoding(client);
        return client;
    }

    // The library keeps a pointer to the list, not a copy: m_encodings lives
    // as long as the client does.
    void applyEncoding(rfbClient* client) const {
        if (!m_encodings.isEmpty())
            client->appData.encodingsString = m_encodings.constData();
        if (m_encoding.compressLevel >= 0)
            client->appData.compressLevel = m_encoding.compressLevel;
        if (m_encoding.qualityLevel >= 0)
            client->appData.qualityLevel = m_encoding.qualityLevel;
        client->appData.enableJPEG = m_encoding.jpeg ? TRUE : FALSE;
    }

    static rfbBool allocateFrame(rfbClient* client) {
        RfbWorker* self = of(client);
        std::free(self->m_frame);
        self->m_frame = nullptr;
        client->frameBuffer = nullptr;
        const qint64 pixels = qint64(client->width) * client->height;
        if (pixels <= 0 || pixels > largestFramePixels)
            return FALSE;
        self->m_frame = static_cast<uint8_t*>(std::calloc(size_t(pixels), 4));
        client->frameBuffer = self->m_frame;
        self->m_changed = QRect(0, 0, client->width, client->height);
        return self->m_frame != nullptr;
    }

    static void noteChange(rfbClient* client, int x, int y, int w, int h) {
        of(client)->m_changed += QRect(x, y, w, h);
    }

    static void publishFrame(rfbClient* client) { of(client)->copyFrame(client); }

    void copyFrame(rfbClient* client) {
        const QSize size(client->width, client->height);
        const QRegion changed = m_changed & QRect(QPoint(0, 0), size);
        m_changed = QRegion();
        if (m_frame == nullptr || changed.isEmpty())
            return;
        bool resized = false;
        {
            QMutexLocker lock(&m_state->mutex);
            resized = m_state->image.size() != size;
            if (resized)
                m_state->image = QImage(size, QImage::Format_RGB32);
            const QRegion copied = resized ? QRegion(QRect(QPoint(0, 0), size)) : changed;
            for (const QRect& rect : copied)
                copyRect(rect, size.width());
        }
        if (resized)
            m_state->post([size](RfbConnection* o) { Q_EMIT o->sizeChanged(size); });
        const QRegion region = resized ? QRegion(QRect(QPoint(0, 0), size)) : changed;
        m_state->post([region](RfbConnection* o) {
            Q_EMIT o->frameRegionChanged(region);
            Q_EMIT o->frameChanged(region.boundingRect());
        });
    }

    void copyRect(const QRect& rect, int frameWidth) {
        const auto* source = reinterpret_cast<const quint32*>(m_frame);
        const qsizetype stride = m_state->image.bytesPerLine();
        uchar* const target = m_state->image.bits();
        const int left = rect.left();
        const int width = rect.width();
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            copyRow(source + qint64(y) * frameWidth + left,
                    reinterpret_cast<quint32*>(target + y * stride) + left, width);
    }

    // The library leaves the top byte of each pixel clear, where the image
    // wants it set; set as the row is copied, it costs what a plain copy does.
    static void copyRow(const quint32* __restrict from, quint32* __restrict to, int count) {
        for (int x = 0; x < count; ++x)
            to[x] = from[x] | 0xff000000u;
    }

    static void takeCursorShape(rfbClient* client, int xHot, int yHot, int width, int height,
                                int bytesPerPixel) {
        if (bytesPerPixel != 4 || client->rcSource == nullptr || client->rcMask == nullptr ||
            width <= 0 || height <= 0)
            return;
        QImage shape(width, height, QImage::Format_ARGB32);
        const auto* source = reinterpret_cast<const quint32*>(client->rcSource);
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<quint32*>(shape.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const qint64 at = qint64(y) * width + x;
                line[x] = client->rcMask[at] != 0 ? source[at] | 0xff000000u : 0u;
            }
        }
        const QPoint hotspot(qBound(0, xHot, width - 1), qBound(0, yHot, height - 1));
        of(client)->m_state->post(
            [shape, hotspot](RfbConnection* o) { Q_EMIT o->cursorShapeChanged(shape, hotspot); });
    }

    static void takeCutText(rfbClient* client, const char* text, int length) {
        if (text == nullptr || length < 0)
            return;
        const QByteArray copied(text, length);
        of(client)->m_state->post(
            [copied](RfbConnection* o) { Q_EMIT o->cutTextReceived(copied); });
    }

    static char* askPassword(rfbClient* client) { return of(client)->waitForPassword(); }

    // Runs on the worker while the library is mid-handshake; the GUI answers
    // through providePassword() or ends the wait by closing.
    char* waitForPassword() {
        m_passwordAsked = true;
        m_state->post([](RfbConnection* o) { Q_EMIT o->passwordNeeded(); });
        QMutexLocker lock(&m_state->mutex);
        while (!m_state->password && !m_state->stopping)
            m_state->passwordGiven.wait(&m_state->mutex);
        QByteArray given = m_state->password ? std::move(*m_state->password) : QByteArray();
        m_state->password.reset();
        // The library refuses an empty answer itself, and does not free it.
        char* copy = given.isEmpty() ? nullptr : strdup(given.constData());
        given.fill('\0');
        return copy;
    }

    void serve(rfbClient* client) {
        while (!isStopping()) {
            sendInputs(client);
            if (client->buffered == 0 && !awaitInput(client->sock))
                continue;
            errno = 0;
            if (!HandleRFBServerMessage(client)) {
                const int error = errno;
                if (!isStopping())
                    endWith(reasonFor(error));
                return;
            }
        }
    }

    // False when woken by the GUI thread rather than by the server.
    bool awaitInput(int socket) {
        pollfd watched[2] = {{socket, POLLIN, 0}, {m_state->wakePipe[0], POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0)
            return false;
        if (watched[1].revents & POLLIN) {
            char drained[64];
            [[maybe_unused]] const auto read = ::read(watched[1].fd, drained, sizeof drained);
        }
        return watched[0].revents != 0;
    }

    void sendInputs(rfbClient* client) {
        std::deque<InputEvent> pending;
        {
            QMutexLocker lock(&m_state->mutex);
            pending.swap(m_state->inputs);
        }
        for (InputEvent& event : pending) {
            if (event.cutText)
                SendClientCutText(client, event.cutText->data(), int(event.cutText->size()));
            else if (event.isKey)
                SendKeyEvent(client, event.keySymbol, event.down ? TRUE : FALSE);
            else
                SendPointerEvent(client, event.position.x(), event.position.y(), event.buttonMask);
        }
    }

    static RfbConnection::EndReason reasonFor(int error) {
        switch (error) {
        case ECONNRESET:
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EPIPE:
            return RfbConnection::EndReason::ServerGone;
        default:
            return RfbConnection::EndReason::Closed;
        }
    }

    static QString textFor(RfbConnection::EndReason reason) {
        switch (reason) {
        case RfbConnection::EndReason::Refused:
            return QStringLiteral("The phone's screen server refused the connection.");
        case RfbConnection::EndReason::NoAnswer:
            return QStringLiteral("The phone's screen server did not answer.");
        case RfbConnection::EndReason::PasswordRefused:
            return QStringLiteral("The phone's screen server refused the password.");
        case RfbConnection::EndReason::Closed:
            return QStringLiteral("The phone's screen server closed the connection.");
        case RfbConnection::EndReason::ServerGone:
            return QStringLiteral("The connection to the phone's screen server was lost.");
        }
        return {};
    }

    void endWith(RfbConnection::EndReason reason) {
        const QString text = textFor(reason);
        m_state->post([reason, text](RfbConnection* o) { Q_EMIT o->ended(reason, text); });
    }

    bool isStopping() {
        QMutexLocker lock(&m_state->mutex);
        return m_state->stopping;
    }

    bool publishSocket(int socket) {
        QMutexLocker lock(&m_state->mutex);
        m_state->socket = socket;
        return !m_state->stopping;
    }

    // Before the library closes the socket, so the GUI never shuts down a
    // descriptor that has been reused by then.
    void withdrawSocket() {
        QMutexLocker lock(&m_state->mutex);
        m_state->socket = -1;
    }

    // The library allocates the pointer's shape but leaves it at cleanup.
    static void releaseCursorMemory(rfbClient* client) {
        std::free(client->rcSource);
        std::free(client->rcMask);
        client->rcSource = nullptr;
        client->rcMask = nullptr;
    }

    void releaseFrameMemory() {
        std::free(m_frame);
        m_frame = nullptr;
    }

    std::shared_ptr<RfbSharedState> m_state;
    QString m_host;
    quint16 m_port;
    RfbConnection::Encoding m_encoding;
    QByteArray m_encodings;
    uint8_t* m_frame = nullptr;
    bool m_passwordAsked = false;
    QRegion m_changed;
};

} // namespace

RfbConnection::RfbConnection(QString host, quint16 port, QObject* parent)
    : QObject(parent), m_host(std::move(host)), m_port(port),
      m_state(std::make_shared<RfbSharedState>()) {
    m_state->owner = this;
}

RfbConnection::~RfbConnection() {
    close();
    QMutexLocker lock(&m_state->mutex);
    m_state->owner = nullptr;
}

void RfbConnection::setEncoding(const Encoding& encoding) {
    m_encoding = encoding;
}

void RfbConnection::open() {
    if (m_thread != nullptr)
        return;
    routeRfbLibraryLog();
    auto worker = std::make_shared<RfbWorker>(m_state, m_host, m_port, m_encoding);
    m_thread = QThread::create([worker] { worker->run(); });
    connect(m_thread, &QThread::finished, this, &RfbConnection::stopped);
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    connect(m_thread, &QObject::destroyed, this, [this] { m_thread = nullptr; });
    m_thread->start();
}

void RfbConnection::close() {
    QMutexLocker lock(&m_state->mutex);
    m_state->stopping = true;
    if (m_state->socket >= 0)
        ::shutdown(m_state->socket, SHUT_RDWR);
    m_state->passwordGiven.wakeAll();
    m_state->wakeWorker();
}

bool RfbConnection::isRunning() const {
    return m_thread != nullptr && m_thread->isRunning();
}

void RfbConnection::sendPointer(QPoint framePosition, int buttonMask) {
    QMutexLocker lock(&m_state->mutex);
    m_state->inputs.push_back({false, framePosition, buttonMask, 0, false, std::nullopt});
    m_state->wakeWorker();
}

void RfbConnection::sendKey(quint32 keySymbol, bool down) {
    QMutexLocker lock(&m_state->mutex);
    m_state->inputs.push_back({true, {}, 0, keySymbol, down, std::nullopt});
    m_state->wakeWorker();
}

void RfbConnection::sendCutText(const QByteArray& text) {
    QMutexLocker lock(&m_state->mutex);
    InputEvent event;
    event.cutText = text;
    m_state->inputs.push_back(std::move(event));
    m_state->wakeWorker();
}

void RfbConnection::providePassword(const QString& password) {
    QMutexLocker lock(&m_state->mutex);
    m_state->password = password.toUtf8();
    m_state->passwordGiven.wakeAll();
}

QImage RfbConnection::image() const {
    QMutexLocker lock(&m_state->mutex);
    return m_state->image;
}

void RfbConnection::readImage(const std::function<void(const QImage&)>& read) const {
    QMutexLocker lock(&m_state->mutex);
    read(m_state->image);
}
