#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace panelix {

// What the reply handler and the command senders need of a serial port. The real
// port implements it; a fake can stand in where the wire does not matter.
class CommIO {
public:
    virtual ~CommIO() = default;
    virtual bool portOpen() const = 0;
    // Queues every byte in order and returns at once; false (nothing sent) when closed.
    virtual bool output(const QByteArray& bytes) = 0;
    // Every byte waiting, in arrival order; empties the receive queue.
    virtual QByteArray input() = 0;
    // 2: receive notification, 1: transmit notification.
    virtual int commEvent() const = 0;
    virtual void setSThreshold(int value) = 0;
    virtual int sThreshold() const = 0;
};

class DrainWorker;

// The serial port of the main window, on the operating system's own calls.
//
// Notifications reach the GUI thread as events of their own, never nested in a
// running handler:
// - receive (CommEvent 2): bytes have arrived; input() returns all of them.
// - transmit (CommEvent 1): the transmit queue has drained after a write, while
//   SThreshold is 1. A worker thread writes the bytes and follows them out on the
//   line (19,200 baud is 0.52 ms a byte): it sleeps to the moment the last byte
//   has entered the transmitter, confirms with TIOCOUTQ that the driver holds
//   nothing more, and only then posts the event. Neither "the kernel took the
//   bytes" nor tcdrain() means drained: the first is immediate, the second polls
//   at jiffy granularity on real UARTs and returns at once on a pty.
class CommPort : public QObject, public CommIO {
    Q_OBJECT
public:
    enum { comEvSend = 1, comEvReceive = 2 };

    explicit CommPort(QObject* parent = nullptr);
    ~CommPort() override;

    // Which device stands behind port 1 and port 2.
    void setDevicePath(int port, const QString& path);
    QString devicePath(int port) const;

    // CommPort: 1 or 2; changed only while the port is closed.
    bool setCommPort(int port);
    int commPort() const { return commPort_; }

    // PortOpen. Opening is exclusive (a port in use cannot be opened).
    bool setPortOpen(bool open);
    bool portOpen() const override { return fd_ >= 0; }
    QString errorString() const { return error_; }

    // Settings such as "19200,n,8,1"; applied at once when open, kept across reopening.
    bool setSettings(const QString& settings);
    QString settings() const { return settings_; }
    int baud() const { return baud_; }
    void setInputMode(int mode) { inputMode_ = mode; }
    int inputMode() const { return inputMode_; }

    void setRThreshold(int value);
    int rThreshold() const { return rThreshold_; }
    void setSThreshold(int value) override { sThreshold_ = value; }
    int sThreshold() const override { return sThreshold_; }

    bool output(const QByteArray& bytes) override;
    QByteArray input() override;
    int commEvent() const override { return commEvent_; }

    // Nanoseconds from the drained moment to the start of the latest transmit
    // notification's handling (for measurements).
    qint64 lastDrainLatencyNs() const { return lastDrainLatencyNs_; }

signals:
    void onComm();
    // The device went away while open (an unplugged adapter); the port is closed.
    void disconnected();

protected:
    bool event(QEvent* e) override;

private:
    void readArrived();
    void deliver(int commEvent);
    void lostDevice();
    void closeDevice();
    bool applySettings(int fd);
    void updateNotifier();

    QString paths_[2];
    int commPort_ = 1;
    int fd_ = -1;
    quint64 generation_ = 0;
    QString error_;
    QString settings_ = QStringLiteral("9600,n,8,1");
    int baud_ = 9600;
    int inputMode_ = 0;
    int rThreshold_ = 0;
    int sThreshold_ = 0;
    int commEvent_ = 0;
    bool inHandler_ = false;
    bool receivePending_ = false;
    bool kickPending_ = false;
    QByteArray rx_;
    QSocketNotifier* notifier_ = nullptr;
    std::unique_ptr<DrainWorker> worker_;
    qint64 lastDrainLatencyNs_ = 0;
};

} // namespace panelix
