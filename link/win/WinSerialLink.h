#pragma once

// A Windows COM port and its link thread, without Qt: overlapped I/O on a handle
// opened exclusively, one WaitCommEvent always pending, and a wake-up event for
// work handed over by other threads. CommPortWin.cpp puts the module's reply rules
// on top of it; the test program under Wine drives it directly.
//
// The drained moment comes from one of two sources (DrainSource). A UART driver
// raises EV_TXEMPTY when its last byte has entered the transmitter, which is that
// moment. Wine instead polls the queue every millisecond from a thread it creates
// for each WaitCommEvent, some milliseconds per two-byte chunk: where the system
// sleeps precisely (as Wine does), the link thread computes the moment from the
// bytes' line time, as the Linux backend does, and confirms it with the driver's
// queue.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace panelix::win {

using Bytes = std::vector<std::uint8_t>;

struct SerialSettings {
    std::uint32_t baud = 9600;
    char parity = 'n'; // 'n', 'e' or 'o'
    int dataBits = 8;
    int stopBits = 1;
};

// Why a port could not be opened, in the terms of CommPort's OpenError.
enum class OpenFailure { None, NoDevice, NoPermission, InUse, NotSerial, Unknown };

// "COM3" becomes "\\.\COM3" (the only form that reaches COM10 and above); a path
// that already starts with two backslashes is kept.
std::wstring devicePathFor(const std::wstring& name);

// What the system error of a failed CreateFileW means for the user.
OpenFailure openFailureFor(unsigned long error);

// Called on the link thread, one at a time. Bytes appended to out are written
// right after the call returns, in order.
class LinkHandler {
public:
    virtual ~LinkHandler() = default;
    // Another thread called wake(): pick up what it left.
    virtual void takeCommands(Bytes& out) = 0;
    // Bytes arrived (never empty). nowNs is on the steady clock, as in nowNs().
    virtual void onRead(const Bytes& bytes, std::int64_t nowNs, Bytes& out) = 0;
    // Everything written has left the driver's transmit queue: EV_TXEMPTY came
    // after the last write completed, with no byte queued. Once per write burst.
    virtual void onTxEmpty(std::int64_t drainedNs, Bytes& out) = 0;
    // The device went away (an unplugged adapter): the link thread has ended
    // and nothing more is called. error is the system's last error code.
    virtual void onLost(unsigned long error) = 0;
};

// Monotonic nanoseconds, the clock of every time handed to a LinkHandler.
std::int64_t nowNs();

// Where the drained moment comes from (see the top of this file).
enum class DrainSource {
    Auto,    // the clock where short sleeps are precise, else EV_TXEMPTY
    TxEmpty, // WaitCommEvent(EV_RXCHAR | EV_TXEMPTY), the queue checked when no event comes
    Clock,   // the line time of the bytes written, confirmed by an empty queue; EV_RXCHAR only
};

// Whether a sleep of a fraction of a millisecond ends within half a byte time at
// 19,200 baud (measured once per process).
bool preciseSleeps();

class SerialLink {
public:
    // What the link thread has seen, for tests and measurements.
    struct Counters {
        std::atomic<std::uint64_t> commEvents{0};      // completed WaitCommEvent calls
        std::atomic<std::uint64_t> rxCharEvents{0};    // ... that said EV_RXCHAR
        std::atomic<std::uint64_t> txEmptyEvents{0};   // ... that said EV_TXEMPTY
        std::atomic<std::uint64_t> drainsOnTxEmpty{0}; // onTxEmpty calls prompted by EV_TXEMPTY
        std::atomic<std::uint64_t> drainsOnCheck{0};   // ... found by the queue check when no event came
        std::atomic<std::uint64_t> drainsOnClock{0};   // ... at the computed moment, the queue empty
        std::atomic<std::uint64_t> clockBehind{0};     // computed moments at which the queue still held bytes
        std::atomic<std::uint64_t> earlyTxEmpty{0};    // EV_TXEMPTY with bytes still queued or a write open
        std::atomic<std::uint64_t> writes{0};
        std::atomic<std::uint64_t> bytesWritten{0};
        std::atomic<std::uint64_t> reads{0};
        std::atomic<std::uint64_t> bytesRead{0};
        std::atomic<std::uint64_t> emptyReads{0}; // EV_RXCHAR with no byte waiting
        std::atomic<std::uint64_t> lineErrors{0}; // ClearCommError reports (framing, parity, overrun, break)
        std::atomic<std::uint64_t> retriedFailures{0};
    };

    // Opens path (see devicePathFor) exclusively for overlapped I/O and applies
    // settings with no flow control. nullptr with the cause and system error
    // code when not.
    static std::unique_ptr<SerialLink> open(const std::wstring& path, const SerialSettings& settings,
                                            OpenFailure* failure, unsigned long* error);
    ~SerialLink(); // stops the link thread (if started) and closes the handle

    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Starts the link thread; handler must outlive this object.
    void start(LinkHandler* handler, DrainSource source = DrainSource::Auto);
    // The source start() chose (TxEmpty before start).
    DrainSource drainSource() const { return source_.load(); }
    // Any thread: makes the link thread call takeCommands soon.
    void wake();

    // Any thread: new line settings (SetCommState).
    bool apply(const SerialSettings& settings);
    // The settings the driver holds (GetCommState); false when it cannot tell.
    bool readBack(SerialSettings* out, bool* flowControl) const;

    const Counters& counters() const { return counters_; }
    // The link thread ended because the device went away.
    bool lost() const { return lost_.load(); }

private:
    SerialLink() = default;
    struct Io;
    class Loop;
    void run();
    void* handle_ = nullptr; // HANDLE
    void* wakeEvent_ = nullptr;
    std::atomic<std::int64_t> byteNs_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> lost_{false};
    std::atomic<bool> woken_{false}; // wake() was called and its event not yet taken up
    std::atomic<DrainSource> source_{DrainSource::TxEmpty};
    LinkHandler* handler_ = nullptr;
    std::thread thread_;
    Counters counters_;
};

} // namespace panelix::win
