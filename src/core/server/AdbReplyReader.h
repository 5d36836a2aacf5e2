// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace ostrel {

// Reads what adb's server sends back on one connection after a request:
// "OKAY" then payload frames (four hex digits of length, then the bytes), or
// "FAIL" then one framed message. Bytes may arrive split anywhere. It holds at
// most one frame, so a server cannot make it grow beyond that whatever it
// sends; after a refusal or a protocol error it reads nothing more, and the
// connection is to be closed.
class AdbReplyReader {
public:
    enum class Status {
        Pending,  // nothing decided yet (the status word or a FAIL message incomplete)
        Accepted, // OKAY: frames follow
        Refused,  // FAIL with its whole message
        Broken,   // not the protocol: the connection cannot be trusted further
    };

    // The next bytes of the stream. Returns the payloads of the frames they
    // completed, in order.
    QList<QByteArray> feed(QByteArrayView bytes);
    // The server closed the connection. Closing inside the status, a message or
    // a frame breaks the reply; closing between whole frames does not.
    void endOfStream();

    Status status() const { return status_; }
    // Refused: the server's message, as sent. Broken: what was wrong.
    QString problem() const { return problem_; }

private:
    enum class Part { StatusWord, FailureLength, FailureMessage, FrameLength, FramePayload };

    qsizetype partSize() const;
    void completePart(QList<QByteArray>& frames);
    void readStatusWord();
    void readLength(Part payloadPart);
    void breakWith(const QString& problem);

    Status status_ = Status::Pending;
    Part part_ = Part::StatusWord;
    int payloadSize_ = 0;
    QByteArray partBytes_;
    QString problem_;
};

} // namespace ostrel
