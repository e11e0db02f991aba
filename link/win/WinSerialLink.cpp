#include "link/win/WinSerialLink.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>

namespace panelix::win {

namespace {

constexpr DWORD ReadChunk = 4096;
// When the driver has had bytes and no EV_TXEMPTY came this long after they
// should have left, the queue is looked at directly.
constexpr std::int64_t DrainCheckMarginNs = 20'000'000;
// An open line is asked now and then whether it is still there, for drivers
// that leave a removed device's requests pending.
constexpr DWORD IdleCheckMs = 500;
// Failed requests on a handle that still answers ClearCommError are retried
// after a pause; this many in a row count as a lost device.
constexpr int FailureLimit = 20;
constexpr DWORD FailurePauseMs = 10;
// A drained moment closer than this is slept out precisely; one farther is waited for
// with the millisecond time-out first.
constexpr std::int64_t ShortWaitNs = 2'000'000;
// The step of the driver's lag behind the computed moments (Loop::lagNs_).
constexpr std::int64_t LagStepNs = 2'000;

HANDLE asHandle(void* h) {
    return static_cast<HANDLE>(h);
}

// Start bit, data bits, parity, stop bits.
std::int64_t byteTimeNs(const SerialSettings& s) {
    const int bits = 1 + s.dataBits + (s.parity != 'n' ? 1 : 0) + s.stopBits;
    return std::int64_t(bits) * 1'000'000'000 / (s.baud > 0 ? s.baud : 9600);
}

// The line as the module needs it: binary, no flow control of any kind, DTR and
// RTS simply on (some adapters power their level shifters from them), and no
// abort of pending requests on a line error.
void fillDcb(DCB& dcb, const SerialSettings& s) {
    dcb.BaudRate = s.baud;
    dcb.fBinary = TRUE;
    dcb.fParity = s.parity != 'n';
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = BYTE(s.dataBits);
    dcb.Parity = s.parity == 'e' ? EVENPARITY : s.parity == 'o' ? ODDPARITY : NOPARITY;
    dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
}

// NtDelayExecution takes 100 ns units: under Wine a relative, non-alertable delay is a
// select() with microseconds, where Sleep and every time-out count whole milliseconds.
using NtDelayExecutionFn = LONG(WINAPI*)(BOOLEAN, PLARGE_INTEGER);

NtDelayExecutionFn ntDelayExecution() {
    static const NtDelayExecutionFn fn = [] {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        FARPROC proc = ntdll ? GetProcAddress(ntdll, "NtDelayExecution") : nullptr;
        return reinterpret_cast<NtDelayExecutionFn>(reinterpret_cast<void*>(proc));
    }();
    return fn;
}

void sleepNs(std::int64_t ns) {
    if (ns <= 0)
        return;
    if (NtDelayExecutionFn delay = ntDelayExecution()) {
        LARGE_INTEGER interval;
        interval.QuadPart = -std::max<std::int64_t>(ns / 100, 1);
        delay(FALSE, &interval);
        return;
    }
    Sleep(DWORD(ns / 1'000'000 + 1));
}

bool setLine(HANDLE h, const SerialSettings& s) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb))
        return false;
    fillDcb(dcb, s);
    return SetCommState(h, &dcb) != FALSE;
}

} // namespace

std::int64_t nowNs() {
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return std::int64_t(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    const std::int64_t ticks = c.QuadPart;
    return ticks / frequency * 1'000'000'000 + ticks % frequency * 1'000'000'000 / frequency;
}

bool preciseSleeps() {
    static const bool precise = [] {
        if (!ntDelayExecution())
            return false;
        // One of five 200 µs sleeps must overshoot by less than half a byte time at
        // 19,200 baud (260 µs): then a thread that sleeps until a drained moment can
        // write the next bytes before the line falls idle. The best of five, because a
        // busy machine delays some wake-ups anywhere; a system that counts in timer ticks
        // (0.5 to 15.6 ms on Windows) overshoots in every one.
        constexpr std::int64_t AskedNs = 200'000;
        std::int64_t best = INT64_MAX;
        for (int i = 0; i < 5; ++i) {
            const std::int64_t t0 = nowNs();
            sleepNs(AskedNs);
            best = std::min(best, nowNs() - t0 - AskedNs);
        }
        return best < 260'000;
    }();
    return precise;
}

std::wstring devicePathFor(const std::wstring& name) {
    if (name.size() >= 2 && name[0] == L'\\' && name[1] == L'\\')
        return name;
    return L"\\\\.\\" + name;
}

OpenFailure openFailureFor(unsigned long error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT:
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return OpenFailure::NoDevice;
    // A COM port that another program holds is refused with "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return OpenFailure::InUse;
    case ERROR_PRIVILEGE_NOT_HELD:
        return OpenFailure::NoPermission;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_HANDLE:
        return OpenFailure::NotSerial;
    default:
        return OpenFailure::Unknown;
    }
}

std::unique_ptr<SerialLink> SerialLink::open(const std::wstring& path, const SerialSettings& settings,
                                             OpenFailure* failure, unsigned long* error) {
    *failure = OpenFailure::None;
    *error = 0;
    if (path.empty()) {
        *failure = OpenFailure::NoDevice;
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    const std::wstring device = devicePathFor(path);
    // No sharing: a second opener gets "access denied" and never interleaves its bytes with ours.
    HANDLE h = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        *failure = openFailureFor(*error);
        return nullptr;
    }
    auto refuse = [&](OpenFailure f) {
        *error = GetLastError();
        *failure = f;
        CloseHandle(h);
        return nullptr;
    };
    // A disk file or a pipe opens too; only a character device with a line is a port.
    if (GetFileType(h) != FILE_TYPE_CHAR)
        return refuse(OpenFailure::NotSerial);
    DCB probe{};
    probe.DCBlength = sizeof probe;
    if (!GetCommState(h, &probe))
        return refuse(OpenFailure::NotSerial);
    SetupComm(h, 4096, 4096); // a hint the driver may ignore
    if (!setLine(h, settings))
        return refuse(OpenFailure::NotSerial);
    // Reads return at once with what has arrived; writes have no time limit.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!SetCommTimeouts(h, &timeouts))
        return refuse(OpenFailure::NotSerial);
    if (!SetCommMask(h, EV_RXCHAR | EV_TXEMPTY))
        return refuse(OpenFailure::NotSerial);
    PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!wake)
        return refuse(OpenFailure::Unknown);

    std::unique_ptr<SerialLink> link(new SerialLink);
    link->handle_ = h;
    link->wakeEvent_ = wake;
    link->byteNs_ = byteTimeNs(settings);
    return link;
}

SerialLink::~SerialLink() {
    stop_ = true;
    if (thread_.joinable()) {
        SetEvent(asHandle(wakeEvent_));
        thread_.join();
    }
    CloseHandle(asHandle(handle_));
    CloseHandle(asHandle(wakeEvent_));
}

void SerialLink::start(LinkHandler* handler, DrainSource source) {
    if (thread_.joinable())
        return;
    handler_ = handler;
    if (source == DrainSource::Auto)
        source = preciseSleeps() ? DrainSource::Clock : DrainSource::TxEmpty;
    // Paced by the clock, EV_TXEMPTY would only cost a WaitCommEvent per chunk.
    if (source == DrainSource::Clock && !SetCommMask(asHandle(handle_), EV_RXCHAR))
        source = DrainSource::TxEmpty;
    source_ = source;
    thread_ = std::thread([this] { run(); });
}

void SerialLink::wake() {
    woken_ = true;
    SetEvent(asHandle(wakeEvent_));
}

bool SerialLink::apply(const SerialSettings& settings) {
    byteNs_ = byteTimeNs(settings);
    return setLine(asHandle(handle_), settings);
}

bool SerialLink::readBack(SerialSettings* out, bool* flowControl) const {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(asHandle(handle_), &dcb))
        return false;
    out->baud = dcb.BaudRate;
    out->dataBits = dcb.ByteSize;
    out->parity = dcb.Parity == EVENPARITY  ? 'e'
                  : dcb.Parity == ODDPARITY ? 'o'
                  : dcb.Parity == NOPARITY  ? 'n'
                                            : '?';
    out->stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : dcb.StopBits == ONESTOPBIT ? 1 : 0;
    *flowControl = dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX ||
                   dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE;
    return true;
}

// The link thread's requests in flight. Each OVERLAPPED, its buffer and the
// event mask stay put until its request has completed or been cancelled.
struct SerialLink::Io {
    HANDLE h = nullptr;
    OVERLAPPED waitOv{};
    OVERLAPPED readOv{};
    OVERLAPPED writeOv{};
    DWORD eventMask = 0;
    bool waitPending = false;
    bool writePending = false;
    Bytes writing;          // the write in flight
    Bytes queued;           // what comes after it
    bool owesDrain = false; // bytes were written and no drain has been reported since
    std::int64_t lastWriteDoneNs = 0;
    std::size_t lastWriteSize = 0;
    std::uint8_t readBuf[ReadChunk];

    Io() {
        waitOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        readOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        writeOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Io() {
        CloseHandle(waitOv.hEvent);
        CloseHandle(readOv.hEvent);
        CloseHandle(writeOv.hEvent);
    }
    bool ready() const { return waitOv.hEvent && readOv.hEvent && writeOv.hEvent; }
};

// The link thread: the requests of Io and what the thread does with their results.
// One object per run of the thread; its state is what the thread shares between steps.
class SerialLink::Loop {
public:
    explicit Loop(SerialLink& link)
        : link_(link), counters_(link.counters_), io_(std::make_unique<Io>()),
          clock_(link.source_.load() == DrainSource::Clock) {
        io_->h = asHandle(link.handle_);
        h_ = io_->h;
        wake_ = asHandle(link.wakeEvent_);
        gone_ = !io_->ready();
        if (gone_)
            lostError_ = GetLastError();
    }

    void run();

private:
    void queueOut();
    void failed(DWORD error);
    bool status(COMSTAT* st);
    void readWaiting();
    void writeDone(DWORD done);
    void startWrite();
    void checkDrained(bool onEvent);
    void reportDrained(std::atomic<std::uint64_t>& counter);
    bool awaitingDrain() const { return io_->owesDrain && !io_->writePending && io_->queued.empty(); }
    void checkDrainedByClock(DWORD queuedInDriver);
    void commEvent(DWORD mask);
    void armWait();
    DWORD drainCheckTimeoutMs() const;
    // One wait and what it brought; false when the loop must end.
    bool waitOnce();
    void onWriteCompleted();
    void onWaitCompleted();
    void onTimeout();
    void cancelPending();

    SerialLink& link_;
    Counters& counters_;
    std::unique_ptr<Io> io_;
    HANDLE h_ = nullptr;
    HANDLE wake_ = nullptr;
    Bytes out_;
    int failures_ = 0;
    DWORD lostError_ = 0;
    bool gone_ = false;
    // Pacing by the clock: when the last write was handed over, when the line falls
    // idle after every byte written, and when the queue is looked at next (at first the
    // drained moment: the last byte has entered the transmitter, one byte time earlier).
    const bool clock_;
    std::int64_t writeStartNs_ = 0;
    std::int64_t lineFreeNs_ = 0;
    std::int64_t nextCheckNs_ = 0;
    // How far the driver runs behind those moments: bytes reach the line some time after
    // they were handed over (an adapter's USB transfer; under Wine, the pty). Followed as
    // link/WakeMargin.h follows wake-ups: nine steps up when a look finds the last byte
    // still queued, one down when it finds none, so that about one look in ten is early
    // (and looks again a quarter byte later). At most one byte time.
    std::int64_t lagNs_ = 0;
    bool firstLook_ = true; // the look at nextCheckNs_ is the first for this write
};

void SerialLink::Loop::queueOut() {
    if (!out_.empty()) {
        io_->queued.insert(io_->queued.end(), out_.begin(), out_.end());
        out_.clear();
    }
}

// A failed request: the device is gone when ClearCommError fails too, or when the
// failures keep coming; otherwise a pause and another try.
void SerialLink::Loop::failed(DWORD error) {
    COMSTAT status{};
    DWORD errors = 0;
    if (!ClearCommError(h_, &errors, &status) || ++failures_ >= FailureLimit) {
        lostError_ = error;
        gone_ = true;
        return;
    }
    counters_.retriedFailures++;
    Sleep(FailurePauseMs);
}

// Looks at the queues: false when the device no longer answers.
bool SerialLink::Loop::status(COMSTAT* st) {
    DWORD errors = 0;
    if (!ClearCommError(h_, &errors, st)) {
        lostError_ = GetLastError();
        gone_ = true;
        return false;
    }
    if (errors & (CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_RXOVER | CE_BREAK))
        counters_.lineErrors++;
    return true;
}

void SerialLink::Loop::readWaiting() {
    bool first = true;
    for (;;) {
        COMSTAT st{};
        if (!status(&st))
            return;
        if (st.cbInQue == 0) {
            if (first)
                counters_.emptyReads++;
            return;
        }
        first = false;
        ResetEvent(io_->readOv.hEvent);
        DWORD got = 0;
        if (!ReadFile(h_, io_->readBuf, ReadChunk, &got, &io_->readOv)) {
            // With the read time-outs set at open the request finishes at once.
            if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(h_, &io_->readOv, &got, TRUE)) {
                failed(GetLastError());
                return;
            }
        }
        if (got == 0)
            return;
        counters_.reads++;
        counters_.bytesRead += got;
        const Bytes bytes(io_->readBuf, io_->readBuf + got);
        link_.handler_->onRead(bytes, nowNs(), out_);
        queueOut();
    }
}

void SerialLink::Loop::writeDone(DWORD done) {
    counters_.bytesWritten += done;
    if (done < io_->writing.size()) // cut short: the rest goes first
        io_->queued.insert(io_->queued.begin(), io_->writing.begin() + done, io_->writing.end());
    io_->lastWriteSize = io_->writing.size();
    io_->writing.clear();
    io_->lastWriteDoneNs = nowNs();
    const std::int64_t byteNs = link_.byteNs_.load();
    lineFreeNs_ = std::max(writeStartNs_, lineFreeNs_) + std::int64_t(done) * byteNs;
    nextCheckNs_ = lineFreeNs_ - byteNs + lagNs_;
    firstLook_ = true;
}

void SerialLink::Loop::startWrite() {
    io_->writing.swap(io_->queued);
    io_->queued.clear();
    ResetEvent(io_->writeOv.hEvent);
    counters_.writes++;
    io_->owesDrain = true;
    writeStartNs_ = nowNs();
    DWORD done = 0;
    if (WriteFile(h_, io_->writing.data(), DWORD(io_->writing.size()), &done, &io_->writeOv)) {
        writeDone(done);
    } else if (GetLastError() == ERROR_IO_PENDING) {
        io_->writePending = true;
    } else {
        const DWORD error = GetLastError();
        io_->queued.swap(io_->writing);
        io_->writing.clear();
        failed(error);
    }
}

// The queue is empty when the driver holds no byte and no write is open.
void SerialLink::Loop::checkDrained(bool onEvent) {
    if (!io_->owesDrain)
        return;
    COMSTAT st{};
    if (io_->writePending || !io_->queued.empty()) {
        if (onEvent)
            counters_.earlyTxEmpty++;
        return;
    }
    if (!status(&st))
        return;
    if (st.cbOutQue > 0) {
        if (onEvent)
            counters_.earlyTxEmpty++;
        return;
    }
    reportDrained(onEvent ? counters_.drainsOnTxEmpty : counters_.drainsOnCheck);
}

void SerialLink::Loop::reportDrained(std::atomic<std::uint64_t>& counter) {
    io_->owesDrain = false;
    counter++;
    link_.handler_->onTxEmpty(nowNs(), out_);
    queueOut();
}

// At the computed drained moment the driver must hold no byte: then the next bytes go
// out while the last one is still on the line.
void SerialLink::Loop::checkDrainedByClock(DWORD queuedInDriver) {
    if (!awaitingDrain() || nowNs() < nextCheckNs_)
        return;
    const std::int64_t byteNs = link_.byteNs_.load();
    const bool first = firstLook_;
    firstLook_ = false;
    if (queuedInDriver > 0) {
        // The driver is behind the clock (the bytes reached the line late, an adapter's
        // own buffer, a slower clock): look again when all but its last byte should have
        // left, and a little after that one has started.
        counters_.clockBehind++;
        if (first)
            lagNs_ = std::min(lagNs_ + 9 * LagStepNs, byteNs);
        nextCheckNs_ = nowNs() + std::int64_t(queuedInDriver - 1) * byteNs + byteNs / 4;
        return;
    }
    if (first)
        lagNs_ = std::max<std::int64_t>(lagNs_ - LagStepNs, 0);
    reportDrained(counters_.drainsOnClock);
}

void SerialLink::Loop::commEvent(DWORD mask) {
    counters_.commEvents++;
    if (mask & EV_RXCHAR) {
        counters_.rxCharEvents++;
        readWaiting();
    }
    if (mask & EV_TXEMPTY) {
        counters_.txEmptyEvents++;
        if (!gone_)
            checkDrained(true);
    }
    if (mask == 0)
        Sleep(1); // a wait ended for no event: no spinning on it
}

void SerialLink::Loop::armWait() {
    ResetEvent(io_->waitOv.hEvent);
    io_->eventMask = 0;
    if (WaitCommEvent(h_, &io_->eventMask, &io_->waitOv)) {
        failures_ = 0;
        commEvent(io_->eventMask);
    } else if (GetLastError() == ERROR_IO_PENDING) {
        io_->waitPending = true;
    } else {
        failed(GetLastError());
    }
}

// Bytes written and no EV_TXEMPTY yet: the queue is looked at once they should have left.
DWORD SerialLink::Loop::drainCheckTimeoutMs() const {
    if (!io_->owesDrain || io_->writePending)
        return IdleCheckMs;
    const std::int64_t dueNs =
        io_->lastWriteDoneNs + std::int64_t(io_->lastWriteSize) * link_.byteNs_.load() + DrainCheckMarginNs;
    return DWORD(std::clamp<std::int64_t>((dueNs - nowNs()) / 1'000'000 + 1, 1, IdleCheckMs));
}

void SerialLink::Loop::onTimeout() {
    COMSTAT st{};
    if (!status(&st))
        return;
    if (st.cbInQue > 0)
        readWaiting();
    if (clock_) {
        if (!gone_)
            checkDrainedByClock(st.cbOutQue);
        return;
    }
    if (!gone_ && io_->owesDrain && !io_->writePending) {
        if (st.cbOutQue > 0) { // a slow line: give it the time its bytes need
            io_->lastWriteDoneNs = nowNs();
            io_->lastWriteSize = st.cbOutQue;
        } else {
            checkDrained(false);
        }
    }
}

void SerialLink::Loop::onWriteCompleted() {
    io_->writePending = false;
    DWORD n = 0;
    if (GetOverlappedResult(h_, &io_->writeOv, &n, FALSE)) {
        failures_ = 0;
        writeDone(n);
    } else {
        const DWORD error = GetLastError();
        io_->queued.insert(io_->queued.begin(), io_->writing.begin(), io_->writing.end());
        io_->writing.clear();
        failed(error);
    }
}

void SerialLink::Loop::onWaitCompleted() {
    io_->waitPending = false;
    DWORD n = 0;
    if (GetOverlappedResult(h_, &io_->waitOv, &n, FALSE)) {
        failures_ = 0;
        commEvent(io_->eventMask);
    } else {
        failed(GetLastError());
    }
}

bool SerialLink::Loop::waitOnce() {
    HANDLE handles[3];
    DWORD count = 0;
    if (io_->writePending)
        handles[count++] = io_->writeOv.hEvent;
    handles[count++] = io_->waitOv.hEvent;
    handles[count++] = wake_;
    DWORD timeout = drainCheckTimeoutMs();
    if (clock_ && awaitingDrain()) {
        // Time-outs count whole milliseconds (and Wine's come late): the last stretch
        // before the drained moment is slept out precisely.
        const std::int64_t left = nextCheckNs_ - nowNs();
        if (left <= ShortWaitNs) {
            sleepNs(left);
            // Under Wine every wait asks the Wine server; when nobody called wake(), the
            // queue is looked at at once (a reply waiting is read there too), and the
            // requests that completed meanwhile are taken up at the next wait.
            if (!link_.woken_.load()) {
                onTimeout();
                return !gone_ && !link_.stop_.load();
            }
            timeout = 0;
        } else {
            timeout = DWORD(std::min<std::int64_t>((left - ShortWaitNs) / 1'000'000 + 1, IdleCheckMs));
        }
    }
    const DWORD r = WaitForMultipleObjects(count, handles, FALSE, timeout);
    if (link_.stop_.load())
        return false;
    if (r == WAIT_TIMEOUT) {
        onTimeout();
        return !gone_;
    }
    if (r >= WAIT_OBJECT_0 + count) {
        lostError_ = GetLastError();
        gone_ = true;
        return false;
    }
    const HANDLE which = handles[r - WAIT_OBJECT_0];
    if (which == io_->writeOv.hEvent) {
        onWriteCompleted();
    } else if (which == io_->waitOv.hEvent) {
        onWaitCompleted();
    } else {
        link_.woken_ = false; // before taking: a wake() after this is seen again
        link_.handler_->takeCommands(out_);
        queueOut();
    }
    return true;
}

// Requests still in flight end here; their buffers live until they have.
void SerialLink::Loop::cancelPending() {
    if (!io_->waitPending && !io_->writePending)
        return;
    SetCommMask(h_, 0);
    CancelIoEx(h_, nullptr);
    bool settled = true;
    for (OVERLAPPED* ov : {&io_->waitOv, &io_->writeOv}) {
        const bool pending = ov == &io_->waitOv ? io_->waitPending : io_->writePending;
        DWORD n = 0;
        if (pending && WaitForSingleObject(ov->hEvent, 2000) == WAIT_OBJECT_0)
            GetOverlappedResult(h_, ov, &n, FALSE);
        else if (pending)
            settled = false;
    }
    if (!settled)
        io_.release(); // the driver never let go: better a small leak than a write into freed memory
}

void SerialLink::Loop::run() {
    while (!gone_ && !link_.stop_.load()) {
        if (!io_->writePending && !io_->queued.empty()) {
            startWrite();
            continue;
        }
        if (!io_->waitPending) {
            armWait();
            continue;
        }
        if (!waitOnce())
            break;
    }
    cancelPending();
    if (gone_ && !link_.stop_.load()) {
        link_.lost_ = true;
        link_.handler_->onLost(lostError_);
    }
}

void SerialLink::run() {
    Loop(*this).run();
}

} // namespace panelix::win
