#pragma once

#include "link/CommPort.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace panelix {

// The transfer state and the OnComm handler of the serial port: replies from the
// module (0xAA go on, 0x55 error, 0x0C test answer) and the pacing of a bulk
// transfer, two bytes per drained transmit queue.
class ReplyHandler : public QObject {
    Q_OBJECT
public:
    explicit ReplyHandler(CommIO& port, QObject* parent = nullptr);

    // Transfer state, shared with the code that starts a transfer.
    QByteArray DownloadImage;
    qint32 SendPosition = 0;
    qint32 TransferTotal = 0;
    quint8 LastReply = 0;
    QByteArray ReplyBytes;

    // One byte through the one-byte carrier OutByte. False when the port is closed.
    bool OutByte(quint8 byte);
    // A run of bytes, one write per byte.
    bool sendSingly(const QByteArray& bytes);

    // Starts a transfer: takes the image, resets LastReply and SendPosition, sets
    // TransferTotal, writes the header and switches transmit notifications on. A
    // new start replaces a running transfer. False, with nothing armed, when the
    // port is closed.
    bool startTransfer(QByteArray image, qint32 total, const QByteArray& header);

    // Ends a transfer whose line has gone (the port was lost or closed).
    void abandonTransfer();

    // From the module's first 0xAA until completion or error: single commands
    // would land in the middle of the data.
    bool running() const;

    quint64 invocations() const { return invocations_; }

public slots:
    void OnComm();

signals:
    void statusText(const QString& text);
    void progress(qint32 position, qint32 total);
    void runningChanged(bool running);

private:
    void sendNext();
    void noteRunning();

    CommIO& port_;
    QByteArray outByte_ = QByteArray(1, '\0');
    quint64 invocations_ = 0;
    bool wasRunning_ = false;
};

} // namespace panelix
