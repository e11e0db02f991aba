#include "link/TransferPacer.h"

#include "protocol/Module.h"

#include <algorithm>

namespace panelix {

static_assert(module::ReplyGoOn == 0xAA);

void TransferPacer::start(QByteArray image, qint32 total) {
    image_ = std::move(image);
    lastReply_ = 0;
    sendPosition_ = 0;
    // Never more than the image holds: every counted byte must exist to be sent.
    transferTotal_ = qint32(std::min<qsizetype>(std::max(total, 0), image_.size()));
    pacing_ = true;
}

void TransferPacer::abandon() {
    pacing_ = false;
    if (lastReply_ == module::ReplyGoOn)
        lastReply_ = 0;
}

// The next data byte, if the image has one there.
void TransferPacer::sendNext(QByteArray& out) {
    if (sendPosition_ >= 0 && sendPosition_ < image_.size()) {
        out.append(image_[sendPosition_]);
        ++sendPosition_;
    }
}

TransferPacer::Step TransferPacer::onRead(const QByteArray& bytes) {
    Step step;
    if (bytes.isEmpty())
        return step;
    const auto first = std::uint8_t(bytes[0]);
    if (first == module::ReplyGoOn) {
        lastReply_ = module::ReplyGoOn;
        sendNext(step.write);
        sendNext(step.write);
    } else if (first == module::ReplyError) {
        lastReply_ = module::ReplyError;
        pacing_ = false;
        step.moduleError = true;
    } else if (first == module::ReplyTestOk) {
        step.testAnswered = true;
    }
    return step;
}

TransferPacer::Step TransferPacer::onDrained() {
    Step step;
    if (!pacing_ || lastReply_ != module::ReplyGoOn)
        return step;
    if (sendPosition_ < transferTotal_) {
        sendNext(step.write);
        if (sendPosition_ < transferTotal_)
            sendNext(step.write);
        step.progressed = true;
    } else {
        pacing_ = false;
        step.finished = true;
    }
    return step;
}

} // namespace panelix
