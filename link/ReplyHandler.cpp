#include "link/ReplyHandler.h"

#include "link/LinkTexts.h"
#include "link/ModuleCodes.h"

#include <algorithm>
#include <cmath>

namespace panelix {

QString texts::progressText(qint32 position, qint32 total) {
    const double percent = std::floor(double(position) / double(total) * 100.0);
    return QStringLiteral("正在下载...  %1   %2%").arg(position).arg(qint64(percent));
}

ReplyHandler::ReplyHandler(CommIO& port, QObject* parent) : QObject(parent), port_(port) {}

bool ReplyHandler::OutByte(quint8 byte) {
    outByte_[0] = char(byte);
    return port_.output(outByte_);
}

bool ReplyHandler::sendSingly(const QByteArray& bytes) {
    for (char b : bytes) {
        if (!OutByte(quint8(b)))
            return false;
    }
    return true;
}

bool ReplyHandler::startTransfer(QByteArray image, qint32 total, const QByteArray& header) {
    if (!port_.portOpen())
        return false;
    DownloadImage = std::move(image);
    LastReply = 0;
    SendPosition = 0;
    // Never more than the image holds: every counted byte must exist to be sent.
    TransferTotal = qint32(std::min<qsizetype>(std::max(total, 0), DownloadImage.size()));
    sendSingly(header);
    port_.setSThreshold(1);
    noteRunning();
    return true;
}

void ReplyHandler::abandonTransfer() {
    port_.setSThreshold(0);
    if (LastReply == module::ReplyGoOn)
        LastReply = 0;
    noteRunning();
}

bool ReplyHandler::running() const {
    return LastReply == module::ReplyGoOn && port_.sThreshold() == 1;
}

void ReplyHandler::noteRunning() {
    const bool now = running();
    if (now != wasRunning_) {
        wasRunning_ = now;
        emit runningChanged(now);
    }
}

// The next data byte, if the image has one there: a reply never makes us read
// past the end of DownloadImage.
void ReplyHandler::sendNext() {
    if (SendPosition >= 0 && SendPosition < DownloadImage.size()) {
        OutByte(quint8(DownloadImage[SendPosition]));
        ++SendPosition;
    }
}

void ReplyHandler::OnComm() {
    ++invocations_;
    if (port_.commEvent() == CommPort::comEvReceive) {
        ReplyBytes = port_.input();
        if (!ReplyBytes.isEmpty()) {
            const auto first = quint8(ReplyBytes[0]);
            if (first == module::ReplyGoOn) {
                LastReply = module::ReplyGoOn;
                sendNext();
                sendNext();
            } else if (first == module::ReplyError) {
                LastReply = module::ReplyError;
                emit statusText(texts::commError());
                port_.setSThreshold(0);
            } else if (first == module::ReplyTestOk) {
                emit statusText(texts::testOk());
            }
        }
    }
    if (port_.commEvent() == CommPort::comEvSend && LastReply == module::ReplyGoOn) {
        if (SendPosition < TransferTotal) {
            sendNext();
            if (SendPosition < TransferTotal)
                sendNext();
            emit statusText(texts::progressText(SendPosition, TransferTotal));
            emit progress(SendPosition, TransferTotal);
        } else {
            emit statusText(texts::downloadDone());
            port_.setSThreshold(0);
            emit progress(SendPosition, TransferTotal);
        }
    }
    noteRunning();
}

} // namespace panelix
