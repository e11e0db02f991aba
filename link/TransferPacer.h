#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>

namespace panelix {

// The reply rules and the transfer state of a bulk transfer, as the link thread
// applies them. Pure logic: the caller reads the line, tells the pacer what came
// and when the transmit queue drained, and writes what the pacer hands back.
//
// - A read whose first byte is 0xAA: the next two image bytes go out at once.
// - A read whose first byte is 0x55: the transfer ends in error (pacing off).
// - The queue drained while pacing is on and the module has said 0xAA: the
//   next one or two bytes, or, once all TransferTotal bytes are out, completion.
// Only the first byte of a read counts; a reply never reads past the image.
class TransferPacer {
public:
    // What one step asks of the line and of the front end.
    struct Step {
        QByteArray write;      // bytes to write now, in order
        bool progressed = false; // SendPosition moved on a drained queue
        bool finished = false;   // all bytes are out
        bool moduleError = false; // the module answered 0x55
        bool testAnswered = false; // the read began with 0x0C
    };

    // Replaces any running transfer: takes the image, LastReply 0, SendPosition 0,
    // TransferTotal capped to the image, pacing on. The header is the caller's.
    void start(QByteArray image, qint32 total);
    // The line went or the port changed: pacing off, a running transfer is over.
    void abandon();

    Step onRead(const QByteArray& bytes);
    Step onDrained();

    bool running() const { return lastReply_ == ReplyGoOnValue && pacing_; }
    bool pacing() const { return pacing_; }
    void setPacing(bool on) { pacing_ = on; }
    std::uint8_t lastReply() const { return lastReply_; }
    qint32 sendPosition() const { return sendPosition_; }
    qint32 transferTotal() const { return transferTotal_; }

private:
    static constexpr std::uint8_t ReplyGoOnValue = 0xAA;
    void sendNext(QByteArray& out);

    QByteArray image_;
    qint32 sendPosition_ = 0;
    qint32 transferTotal_ = 0;
    std::uint8_t lastReply_ = 0;
    bool pacing_ = false;
};

} // namespace panelix
