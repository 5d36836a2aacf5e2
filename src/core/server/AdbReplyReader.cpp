// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/AdbReplyReader.h"

#include "core/server/AdbWireFormat.h"

#include <algorithm>
#include <optional>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

QList<QByteArray> AdbReplyReader::feed(QByteArrayView bytes) {
    QList<QByteArray> frames;
    while (!bytes.isEmpty() && (status_ == Status::Pending || status_ == Status::Accepted)) {
        const qsizetype wanted = std::min(partSize() - partBytes_.size(), bytes.size());
        partBytes_.append(bytes.first(wanted));
        bytes = bytes.sliced(wanted);
        if (partBytes_.size() == partSize())
            completePart(frames);
    }
    return frames;
}

void AdbReplyReader::endOfStream() {
    if (status_ == Status::Pending)
        breakWith(u"the adb server closed the connection before it replied"_s);
    else if (status_ == Status::Accepted && (part_ != Part::FrameLength || !partBytes_.isEmpty()))
        breakWith(u"the adb server closed the connection inside a frame"_s);
}

qsizetype AdbReplyReader::partSize() const {
    switch (part_) {
    case Part::StatusWord:
    case Part::FailureLength:
    case Part::FrameLength:
        return 4;
    case Part::FailureMessage:
    case Part::FramePayload:
        return payloadSize_;
    }
    return 4;
}

void AdbReplyReader::completePart(QList<QByteArray>& frames) {
    switch (part_) {
    case Part::StatusWord:
        readStatusWord();
        break;
    case Part::FailureLength:
        readLength(Part::FailureMessage);
        break;
    case Part::FrameLength:
        readLength(Part::FramePayload);
        break;
    case Part::FailureMessage:
        status_ = Status::Refused;
        problem_ = QString::fromUtf8(partBytes_);
        break;
    case Part::FramePayload:
        frames.append(partBytes_);
        part_ = Part::FrameLength;
        break;
    }
    partBytes_.clear();
    // An empty payload is complete as soon as its length is read.
    if (part_ == Part::FramePayload && payloadSize_ == 0) {
        frames.append(QByteArray());
        part_ = Part::FrameLength;
    }
    if (part_ == Part::FailureMessage && payloadSize_ == 0)
        status_ = Status::Refused;
}

void AdbReplyReader::readStatusWord() {
    if (partBytes_ == "OKAY") {
        status_ = Status::Accepted;
        part_ = Part::FrameLength;
    } else if (partBytes_ == "FAIL") {
        part_ = Part::FailureLength;
    } else {
        breakWith(u"the adb server replied neither OKAY nor FAIL"_s);
    }
}

void AdbReplyReader::readLength(Part payloadPart) {
    const std::optional<int> length = adbFrameLength(partBytes_);
    if (!length) {
        breakWith(u"the adb server sent a length that is not four hex digits"_s);
        return;
    }
    payloadSize_ = *length;
    part_ = payloadPart;
}

void AdbReplyReader::breakWith(const QString& problem) {
    status_ = Status::Broken;
    problem_ = problem;
    partBytes_.clear();
}

} // namespace ostrel
