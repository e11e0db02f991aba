#include "link/win/WinSerialLink.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>

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

void SerialLink::start(LinkHandler* handler) {
    if (thread_.joinable())
        return;
    handler_ = handler;
    thread_ = std::thread([this] { run(); });
}

void SerialLink::wake() {
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

void SerialLink::run() {
    auto io = std::make_unique<Io>();
    io->h = asHandle(handle_);
    HANDLE h = io->h;
    HANDLE wake = asHandle(wakeEvent_);
    Bytes out;
    int failures = 0;
    DWORD lostError = 0;
    bool gone = !io->ready();
    if (gone)
        lostError = GetLastError();

    auto queueOut = [&] {
        if (!out.empty()) {
            io->queued.insert(io->queued.end(), out.begin(), out.end());
            out.clear();
        }
    };
    // A failed request: the device is gone when ClearCommError fails too, or
    // when the failures keep coming; otherwise a pause and another try.
    auto failed = [&](DWORD error) {
        COMSTAT status{};
        DWORD errors = 0;
        if (!ClearCommError(h, &errors, &status) || ++failures >= FailureLimit) {
            lostError = error;
            gone = true;
            return;
        }
        counters_.retriedFailures++;
        Sleep(FailurePauseMs);
    };
    // Looks at the queues: false when the device no longer answers.
    auto status = [&](COMSTAT* st) {
        DWORD errors = 0;
        if (!ClearCommError(h, &errors, st)) {
            lostError = GetLastError();
            gone = true;
            return false;
        }
        if (errors & (CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_RXOVER | CE_BREAK))
            counters_.lineErrors++;
        return true;
    };
    auto readWaiting = [&] {
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
            ResetEvent(io->readOv.hEvent);
            DWORD got = 0;
            if (!ReadFile(h, io->readBuf, ReadChunk, &got, &io->readOv)) {
                // With the read time-outs set at open the request finishes at once.
                if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(h, &io->readOv, &got, TRUE)) {
                    failed(GetLastError());
                    return;
                }
            }
            if (got == 0)
                return;
            counters_.reads++;
            counters_.bytesRead += got;
            const Bytes bytes(io->readBuf, io->readBuf + got);
            handler_->onRead(bytes, nowNs(), out);
            queueOut();
        }
    };
    auto writeDone = [&](DWORD done) {
        counters_.bytesWritten += done;
        if (done < io->writing.size()) // cut short: the rest goes first
            io->queued.insert(io->queued.begin(), io->writing.begin() + done, io->writing.end());
        io->lastWriteSize = io->writing.size();
        io->writing.clear();
        io->lastWriteDoneNs = nowNs();
    };
    auto startWrite = [&] {
        io->writing.swap(io->queued);
        io->queued.clear();
        ResetEvent(io->writeOv.hEvent);
        counters_.writes++;
        io->owesDrain = true;
        DWORD done = 0;
        if (WriteFile(h, io->writing.data(), DWORD(io->writing.size()), &done, &io->writeOv)) {
            writeDone(done);
        } else if (GetLastError() == ERROR_IO_PENDING) {
            io->writePending = true;
        } else {
            const DWORD error = GetLastError();
            io->queued.swap(io->writing);
            io->writing.clear();
            failed(error);
        }
    };
    // The queue is empty when the driver holds no byte and no write is open.
    auto checkDrained = [&](bool onEvent) {
        if (!io->owesDrain)
            return;
        COMSTAT st{};
        if (io->writePending || !io->queued.empty()) {
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
        io->owesDrain = false;
        (onEvent ? counters_.drainsOnTxEmpty : counters_.drainsOnCheck)++;
        handler_->onTxEmpty(nowNs(), out);
        queueOut();
    };
    auto commEvent = [&](DWORD mask) {
        counters_.commEvents++;
        if (mask & EV_RXCHAR) {
            counters_.rxCharEvents++;
            readWaiting();
        }
        if (mask & EV_TXEMPTY) {
            counters_.txEmptyEvents++;
            if (!gone)
                checkDrained(true);
        }
        if (mask == 0)
            Sleep(1); // a wait ended for no event: no spinning on it
    };
    auto armWait = [&] {
        ResetEvent(io->waitOv.hEvent);
        io->eventMask = 0;
        if (WaitCommEvent(h, &io->eventMask, &io->waitOv)) {
            failures = 0;
            commEvent(io->eventMask);
        } else if (GetLastError() == ERROR_IO_PENDING) {
            io->waitPending = true;
        } else {
            failed(GetLastError());
        }
    };

    while (!gone && !stop_.load()) {
        if (!io->writePending && !io->queued.empty()) {
            startWrite();
            continue;
        }
        if (!io->waitPending) {
            armWait();
            continue;
        }

        HANDLE handles[3];
        DWORD count = 0;
        if (io->writePending)
            handles[count++] = io->writeOv.hEvent;
        handles[count++] = io->waitOv.hEvent;
        handles[count++] = wake;
        DWORD timeoutMs = IdleCheckMs;
        if (io->owesDrain && !io->writePending) {
            const std::int64_t dueNs =
                io->lastWriteDoneNs + std::int64_t(io->lastWriteSize) * byteNs_.load() + DrainCheckMarginNs;
            timeoutMs = DWORD(std::clamp<std::int64_t>((dueNs - nowNs()) / 1'000'000 + 1, 1, IdleCheckMs));
        }
        const DWORD r = WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
        if (stop_.load())
            break;
        if (r == WAIT_TIMEOUT) {
            COMSTAT st{};
            if (!status(&st))
                break;
            if (st.cbInQue > 0)
                readWaiting();
            if (!gone && io->owesDrain && !io->writePending) {
                if (st.cbOutQue > 0) { // a slow line: give it the time its bytes need
                    io->lastWriteDoneNs = nowNs();
                    io->lastWriteSize = st.cbOutQue;
                } else {
                    checkDrained(false);
                }
            }
            continue;
        }
        if (r >= WAIT_OBJECT_0 + count) {
            lostError = GetLastError();
            gone = true;
            break;
        }
        const HANDLE which = handles[r - WAIT_OBJECT_0];
        DWORD n = 0;
        if (which == io->writeOv.hEvent) {
            io->writePending = false;
            if (GetOverlappedResult(h, &io->writeOv, &n, FALSE)) {
                failures = 0;
                writeDone(n);
            } else {
                const DWORD error = GetLastError();
                io->queued.insert(io->queued.begin(), io->writing.begin(), io->writing.end());
                io->writing.clear();
                failed(error);
            }
        } else if (which == io->waitOv.hEvent) {
            io->waitPending = false;
            if (GetOverlappedResult(h, &io->waitOv, &n, FALSE)) {
                failures = 0;
                commEvent(io->eventMask);
            } else {
                failed(GetLastError());
            }
        } else {
            handler_->takeCommands(out);
            queueOut();
        }
    }

    // Requests still in flight end here; their buffers live until they have.
    if (io->waitPending || io->writePending) {
        SetCommMask(h, 0);
        CancelIoEx(h, nullptr);
        bool settled = true;
        for (OVERLAPPED* ov : {&io->waitOv, &io->writeOv}) {
            const bool pending = ov == &io->waitOv ? io->waitPending : io->writePending;
            DWORD n = 0;
            if (pending && WaitForSingleObject(ov->hEvent, 2000) == WAIT_OBJECT_0)
                GetOverlappedResult(h, ov, &n, FALSE);
            else if (pending)
                settled = false;
        }
        if (!settled)
            io.release(); // the driver never let go: better a small leak than a write into freed memory
    }
    if (gone && !stop_.load()) {
        lost_ = true;
        handler_->onLost(lostError);
    }
}

} // namespace panelix::win
