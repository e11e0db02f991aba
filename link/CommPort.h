#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <atomic>
#include <memory>
#include <vector>

namespace panelix {

class PortBackend;
struct LinkEvent;

// Why a port could not be opened, as far as the system tells.
enum class OpenError { None, NoDevice, NoPermission, InUse, NotSerial, Unknown };

// The serial port to the module. While open, one link thread owns the device:
// it writes what it is given, reads the module's replies, applies the reply
// rules and paces a bulk transfer chunk by chunk itself (see TransferPacer),
// with no round trip through the thread that owns this object.
//
// "Drained" is the moment the last byte written has entered the transmitter,
// one byte time before the line falls idle, confirmed by the driver holding no
// more bytes (TIOCOUTQ on POSIX, EV_TXEMPTY on Windows). Neither "the kernel took
// the bytes" nor tcdrain() means that: the first is immediate, the second polls
// at jiffy granularity on real UARTs and returns at once on a pty. Each time the
// queue has drained after a write while pacing is on, the next one or two
// bytes of the transfer go out.
//
// What happens on the line reaches the owning thread as typed events, in order,
// never nested in a running handler: every read, transfer progress (at most every
// ProgressIntervalMs, and once more at the end), completion, a module error, the
// running state, and the loss of the device.
class CommPort : public QObject {
    Q_OBJECT
public:
    static constexpr int ProgressIntervalMs = 40;

    explicit CommPort(QObject* parent = nullptr);
    ~CommPort() override;

    // Which device stands behind port 1 and port 2.
    void setDevicePath(int port, const QString& path);
    QString devicePath(int port) const;

    // 1 or 2; changed only while the port is closed.
    bool selectPort(int port);
    int selectedPort() const { return selected_; }

    // Opens the selected port's device. Opening is exclusive: a port in use cannot
    // be opened. Closing stops the link thread; what the driver still holds goes out.
    bool open();
    void close();
    bool isOpen() const { return backend_ != nullptr; }
    OpenError openError() const { return openError_; }
    QString errorString() const { return error_; }

    // Settings such as "19200,n,8,1"; applied at once when open, kept across reopening.
    bool setLineSettings(const QString& settings);
    QString lineSettings() const { return settings_; }
    int baud() const { return baud_; }

    // Queues bytes for the line in order and returns at once; false (nothing
    // sent) when closed.
    bool write(const QByteArray& bytes);

    // Starts a bulk transfer: writes the header, then the image's first total bytes
    // as the module asks for them. A new start replaces a running transfer. False,
    // with nothing armed, when the port is closed.
    bool startTransfer(QByteArray image, qint32 total, const QByteArray& header);
    // Ends a transfer whose line has gone or changed.
    void abandonTransfer();

    // The transfer state as the events delivered so far tell it.
    bool running() const { return running_; }
    bool pacing() const { return pacing_; }
    void setPacing(bool on);
    std::uint8_t lastReply() const { return lastReply_; }
    qint32 sendPosition() const { return sendPosition_; }
    qint32 transferTotal() const { return transferTotal_; }
    // The data bytes of the last transfer written to the device, counted by the link
    // thread as it writes them. sendPosition() lags it by the events not yet delivered;
    // once the port is closed (the link thread has stopped, and what the driver still
    // held went out on close) it is final: the bytes the line took.
    qint32 lineWritten() const { return lineWritten_.load(); }
    const QByteArray& downloadImage() const { return downloadImage_; }

    // Drained-to-write latencies of the transfer so far, in nanoseconds (for
    // measurements): how long after the drained moment the next bytes were written.
    std::vector<std::int64_t> drainLatenciesNs() const;

signals:
    // One read of the line, after the reply rules have been applied to it.
    void received(const QByteArray& bytes);
    void transferProgress(qint32 sent, qint32 total);
    void transferFinished(qint32 total);
    // The module answered 0x55; sent is how far the transfer had come.
    void moduleError(qint32 sent);
    void runningChanged(bool running);
    // The device went away while open (an unplugged adapter); the port is closed.
    void disconnected();
    // Every byte given to write() so far has drained: it has left the host.
    void drained();

protected:
    bool event(QEvent* e) override;

private:
    friend class PortBackend;
    friend class LinkCore;
    void deliver(LinkEvent& e);
    void noteRunning(bool running);
    void lostDevice();
    void closeDevice();

    QString paths_[2];
    int selected_ = 1;
    OpenError openError_ = OpenError::None;
    QString error_;
    QString settings_ = QStringLiteral("9600,n,8,1");
    int baud_ = 9600;
    std::unique_ptr<PortBackend> backend_;
    quint64 transfer_ = 0; // generation of the transfer state, bumped by start and abandon

    bool pacing_ = false;
    bool running_ = false;
    std::uint8_t lastReply_ = 0;
    qint32 sendPosition_ = 0;
    qint32 transferTotal_ = 0;
    std::atomic<qint32> lineWritten_{0}; // written by the link thread
    QByteArray downloadImage_;
    std::vector<LinkEvent> inbox_; // taken from the link thread; delivered up to next_
    std::size_t next_ = 0;
    bool delivering_ = false;
};

} // namespace panelix
