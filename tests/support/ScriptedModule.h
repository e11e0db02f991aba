#pragma once

#include "simulator/Pty.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace panelix {

// A module stand-in for tests and benchmarks. It sits on the master side of a
// pty in a thread of its own, records every byte the application sends, answers
// a transfer header with 0xAA and the connection test with 0x0C, and can be told
// to misbehave: an error reply after N data bytes, no answers at all, extra
// replies injected at any moment. With lineRate it takes bytes no faster than a
// 19,200-baud line delivers them (10 bits a byte).
class ScriptedModule {
public:
    struct Config {
        bool answerHeaders = true;
        bool answerTest = true;
        qint64 errorAfterDataBytes = -1; // reply 0x55 once this many data bytes have come
        bool lineRate = false;
        int baud = 19200;
    };

    explicit ScriptedModule(Pty& pty);
    ~ScriptedModule();
    ScriptedModule(const ScriptedModule&) = delete;
    ScriptedModule& operator=(const ScriptedModule&) = delete;

    void start(const Config& config);
    void start() { start(Config{}); }
    void stop();

    // Replies injected by the test, written to the line as one write.
    void send(const QByteArray& bytes);

    QByteArray received() const;     // everything, in order
    QByteArray dataBytes() const;    // the data of the latest transfer (after its header)
    qint64 receivedCount() const;
    int headersAnswered() const { return headers_.load(); }
    int testsAnswered() const { return tests_.load(); }
    // Nanoseconds (CLOCK_MONOTONIC) at which the first and the latest byte were taken.
    qint64 firstByteNs() const { return firstNs_.load(); }
    qint64 lastByteNs() const { return lastNs_.load(); }
    // Forget the transfer in progress: the next bytes are read as commands or a header.
    void resync();
    void clear();

    bool waitForCount(qint64 count, int timeoutMs) const;
    bool waitForData(qint64 count, int timeoutMs) const;

private:
    void run();
    void take(std::uint8_t byte);

    Pty& pty_;
    Config config_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    int wakeFd_ = -1;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    QByteArray received_;
    QByteArray data_;
    QByteArray pending_; // bytes of a header or command being collected
    qint64 expected_ = 0; // data bytes still to come in the current transfer
    bool errorSent_ = false;
    QByteArray outbox_;

    std::atomic<int> headers_{0};
    std::atomic<int> tests_{0};
    std::atomic<qint64> firstNs_{0};
    std::atomic<qint64> lastNs_{0};
};

} // namespace panelix
