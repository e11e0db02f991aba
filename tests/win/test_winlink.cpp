// The Windows serial link against a module stand-in (tests/win/standin.cpp) on
// the other end of COM5. Built with MinGW and run under Wine, where COM5 is a
// pty; the stand-in checks the bytes on its side, this program the Win32 side:
// open errors, settings read back, a 2-byte-chunk transfer paced by the drained
// moment (EV_TXEMPTY, or the clock confirmed by the driver's queue), replies through
// EV_RXCHAR, and the unplugged line.
//
// Usage: test_winlink PORT [txempty|clock]   (default: the link's own choice)
//   exit status 0 when every check held

#include "link/win/WinSerialLink.h"
#include "tests/win/WireScript.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

using namespace panelix::win;
namespace ws = panelix::wirescript;

namespace {

int failures = 0;

bool check(bool ok, const char* what) {
    if (!ok) {
        ++failures;
        std::printf("FAIL: %s\n", what);
        std::fflush(stdout);
    }
    return ok;
}

const char* failureName(OpenFailure f) {
    switch (f) {
    case OpenFailure::None:
        return "none";
    case OpenFailure::NoDevice:
        return "no device";
    case OpenFailure::NoPermission:
        return "no permission";
    case OpenFailure::InUse:
        return "in use";
    case OpenFailure::NotSerial:
        return "not serial";
    case OpenFailure::Unknown:
        break;
    }
    return "unknown";
}

// The module's side of the reply rules, as far as this test needs them: 0xAA
// arms the image, each drained queue sends the next two bytes, 0x55 refuses.
class Probe : public LinkHandler {
public:
    enum class Transfer { Idle, Armed, Running, Done, Refused };

    std::mutex mutex;
    std::condition_variable changed;
    ws::Bytes received;
    std::size_t reads = 0;
    Transfer transfer = Transfer::Idle;
    ws::Bytes image;
    std::size_t position = 0;
    std::size_t chunks = 0;
    std::size_t chunksOnGoOn = 0;
    std::size_t chunksOnTxEmpty = 0;
    std::size_t txEmptyCalls = 0;
    ws::Bytes afterTransfer; // written with the drain that ends the transfer
    bool lost = false;
    unsigned long lostError = 0;

    // Main thread: bytes for the link thread to write.
    void send(SerialLink& link, const ws::Bytes& bytes) {
        {
            std::lock_guard lock(mutex);
            outbox_.insert(outbox_.end(), bytes.begin(), bytes.end());
        }
        link.wake();
    }
    bool waitFor(int ms, const std::function<bool()>& done) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(ms), done);
    }

    void takeCommands(Bytes& out) override {
        std::lock_guard lock(mutex);
        out.insert(out.end(), outbox_.begin(), outbox_.end());
        outbox_.clear();
    }
    void onRead(const Bytes& bytes, std::int64_t, Bytes& out) override {
        std::lock_guard lock(mutex);
        received.insert(received.end(), bytes.begin(), bytes.end());
        ++reads;
        if (transfer == Transfer::Armed && bytes.front() == ws::GoOn) {
            transfer = Transfer::Running;
            ++chunksOnGoOn;
            sendChunk(out);
        } else if (transfer == Transfer::Armed && bytes.front() == ws::Refused) {
            transfer = Transfer::Refused;
        }
        changed.notify_all();
    }
    void onTxEmpty(std::int64_t, Bytes& out) override {
        std::lock_guard lock(mutex);
        ++txEmptyCalls;
        if (transfer == Transfer::Running) {
            if (position < image.size()) {
                ++chunksOnTxEmpty;
                sendChunk(out);
            } else {
                transfer = Transfer::Done;
                out.insert(out.end(), afterTransfer.begin(), afterTransfer.end());
            }
        }
        changed.notify_all();
    }
    void onLost(unsigned long error) override {
        std::lock_guard lock(mutex);
        lost = true;
        lostError = error;
        changed.notify_all();
    }

private:
    void sendChunk(Bytes& out) {
        const std::size_t n = std::min<std::size_t>(2, image.size() - position);
        out.insert(out.end(), image.begin() + std::ptrdiff_t(position),
                   image.begin() + std::ptrdiff_t(position + n));
        position += n;
        ++chunks;
    }
    ws::Bytes outbox_;
};

bool underWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void expectRefused(const std::wstring& path, OpenFailure expected, const char* what) {
    OpenFailure failure = OpenFailure::None;
    unsigned long error = 0;
    auto link = SerialLink::open(path, SerialSettings{19200, 'n', 8, 1}, &failure, &error);
    std::printf("open \"%ls\": %s (error %lu)\n", path.c_str(), link ? "opened" : failureName(failure),
                error);
    check(!link && failure == expected, what);
}

bool expectSettings(const SerialLink& link, const SerialSettings& want, const char* what) {
    SerialSettings got;
    bool flow = true;
    const bool read = link.readBack(&got, &flow);
    std::printf("settings read back: %u,%c,%d,%d flow control %s\n", got.baud, got.parity, got.dataBits,
                got.stopBits, flow ? "on" : "off");
    return check(read && got.baud == want.baud && got.parity == want.parity &&
                     got.dataBits == want.dataBits && got.stopBits == want.stopBits && !flow,
                 what);
}

} // namespace

int main(int argc, char** argv) {
    // Unbuffered: the C runtime has no line buffering, and a killed run should still show how far it came.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string drain = argc == 3 ? argv[2] : "auto";
    if (argc < 2 || argc > 3 || (drain != "auto" && drain != "txempty" && drain != "clock")) {
        std::printf("usage: test_winlink PORT [txempty|clock]\n");
        return 2;
    }
    const DrainSource source = drain == "txempty" ? DrainSource::TxEmpty
                               : drain == "clock" ? DrainSource::Clock
                                                  : DrainSource::Auto;
    std::wstring port;
    for (const char* c = argv[1]; *c; ++c)
        port += wchar_t(*c);

    check(devicePathFor(L"COM12") == L"\\\\.\\COM12", "a bare COM name gets the device prefix");
    check(devicePathFor(L"\\\\.\\COM3") == L"\\\\.\\COM3", "a device path is kept");
    check(openFailureFor(ERROR_ACCESS_DENIED) == OpenFailure::InUse, "access denied means in use");
    check(openFailureFor(ERROR_FILE_NOT_FOUND) == OpenFailure::NoDevice, "file not found means no device");

    // Refusals first, while nothing holds the port.
    expectRefused(L"COM31", OpenFailure::NoDevice, "a COM port that does not exist is no device");
    expectRefused(L"", OpenFailure::NoDevice, "an empty name is no device");
    expectRefused(L"C:\\windows\\win.ini", OpenFailure::NotSerial, "a disk file is no serial port");
    expectRefused(L"NUL", OpenFailure::NotSerial, "the null device is no serial port");

    OpenFailure failure = OpenFailure::None;
    unsigned long error = 0;
    auto link = SerialLink::open(port, SerialSettings{19200, 'n', 8, 1}, &failure, &error);
    if (!check(link != nullptr, "the port opens")) {
        std::printf("open %ls: %s (error %lu)\n", port.c_str(), failureName(failure), error);
        return 1;
    }
    if (underWine()) {
        // Wine keeps no sharing rule for devices: the second handle opens. Windows
        // refuses it with ERROR_ACCESS_DENIED, which openFailureFor maps above.
        auto second =
            SerialLink::open(devicePathFor(port), SerialSettings{19200, 'n', 8, 1}, &failure, &error);
        std::printf("second open of %ls: %s (Wine does not keep COM ports exclusive)\n", port.c_str(),
                    second ? "opened" : failureName(failure));
    } else {
        expectRefused(devicePathFor(port), OpenFailure::InUse, "a port already open is in use");
    }
    expectSettings(*link, SerialSettings{19200, 'n', 8, 1}, "19200 8N1 without flow control after open");

    Probe probe;
    link->start(&probe, source);
    std::printf("drained moment from %s (precise sleeps here: %s)\n",
                link->drainSource() == DrainSource::Clock ? "the clock, confirmed by the queue" : "EV_TXEMPTY",
                preciseSleeps() ? "yes" : "no");
    if (source != DrainSource::Auto)
        check(link->drainSource() == source, "the link uses the drained moment asked for");
    // A lost line ends every wait at once (and fails it).
    auto answers = [&](std::size_t n, int ms) {
        return probe.waitFor(ms, [&] { return probe.received.size() >= n || probe.lost; }) && !probe.lost;
    };

    // The stand-in checks the pty's termios against each of these when the test
    // command arrives. (A pty keeps 8 data bits and no parity whatever it is told,
    // so only speed and stop bits can show a change there.)
    check(link->apply(SerialSettings{9600, 'n', 8, 2}), "9600 8N2 applies");
    expectSettings(*link, SerialSettings{9600, 'n', 8, 2}, "9600 8N2 read back");
    probe.send(*link, ws::ConnectionTest);
    check(answers(1, 30000), "answer to the first connection test");
    check(link->apply(SerialSettings{19200, 'n', 8, 1}), "19200 8N1 applies again");
    expectSettings(*link, SerialSettings{19200, 'n', 8, 1}, "19200 8N1 read back");
    probe.send(*link, ws::ConnectionTest);
    check(answers(2, 5000), "answer to the second connection test");

    // Closing with a WaitCommEvent pending ends it at once, and the port opens again.
    {
        const std::int64_t closing = nowNs();
        link.reset();
        const double ms = double(nowNs() - closing) / 1e6;
        std::printf("closed in %.1f ms\n", ms);
        check(ms < 1000, "closing an idle port ends its pending wait at once");
        link = SerialLink::open(port, SerialSettings{19200, 'n', 8, 1}, &failure, &error);
        if (!check(link != nullptr, "the port opens again after closing"))
            return 1;
        link->start(&probe, source);
    }

    // A bitmap download: 0xAA starts it, the drained moment paces it two bytes at a time,
    // and the connection test right behind the last chunk proves nothing followed.
    const std::int64_t startNs = nowNs();
    {
        std::lock_guard lock(probe.mutex);
        probe.image = ws::pattern(ws::ImageSize, ws::ImageSeed);
        probe.afterTransfer = ws::ConnectionTest;
        probe.transfer = Probe::Transfer::Armed;
    }
    const auto drainCount = [](const SerialLink::Counters& c) {
        return c.drainsOnTxEmpty + c.drainsOnCheck + c.drainsOnClock;
    };
    const std::uint64_t drainsBefore = drainCount(link->counters());
    probe.send(*link, ws::ImageHeader);
    check(answers(4, 60000), "0xAA and the answer behind the transfer arrive");
    const double seconds = double(nowNs() - startNs) / 1e9;
    {
        std::lock_guard lock(probe.mutex);
        check(probe.transfer == Probe::Transfer::Done, "the transfer finished");
        check(probe.chunks == ws::ImageSize / 2, "the image went out in 2-byte chunks");
        check(probe.chunksOnGoOn == 1, "0xAA sent the first chunk");
        check(probe.chunksOnTxEmpty == ws::ImageSize / 2 - 1, "each further chunk followed a drained queue");
        std::printf("transfer: %zu bytes in %zu chunks (%zu after 0xAA, %zu after a drain) in %.2f s\n",
                    probe.position, probe.chunks, probe.chunksOnGoOn, probe.chunksOnTxEmpty, seconds);
    }
    const SerialLink::Counters& c = link->counters();
    const std::uint64_t drains = drainCount(c) - drainsBefore;
    check(drains >= ws::ImageSize / 2, "a drain for every chunk");
    if (link->drainSource() == DrainSource::Clock)
        check(c.drainsOnClock >= ws::ImageSize / 2 && c.txEmptyEvents == 0,
              "the clock reported the drains, with EV_TXEMPTY out of the event mask");
    else
        check(c.drainsOnTxEmpty > 0 && c.drainsOnClock == 0, "EV_TXEMPTY reported drains");
    // Paced by the clock, a reply that comes while the link looks at the queue is read
    // there, before Wine's wait thread sees it; EV_RXCHAR takes the ones that come between.
    if (link->drainSource() == DrainSource::Clock)
        check(c.reads > 0, "replies were read");
    else
        check(c.rxCharEvents > 0, "EV_RXCHAR reported replies");

    // A refused header: 0x55 comes back and no image byte goes out; the stand-in
    // takes the connection test as the very next bytes, then answers with a burst.
    std::size_t before = 0;
    {
        std::lock_guard lock(probe.mutex);
        before = probe.chunks;
        probe.image = ws::pattern(1024, ws::ImageSeed);
        probe.position = 0;
        probe.transfer = Probe::Transfer::Armed;
        probe.afterTransfer.clear();
    }
    probe.send(*link, ws::BadHeader);
    check(probe.waitFor(5000, [&] { return probe.transfer == Probe::Transfer::Refused || probe.lost; }) &&
              probe.transfer == Probe::Transfer::Refused,
          "0x55 refuses the header");
    check(probe.chunks == before, "nothing of the image after 0x55");
    probe.send(*link, ws::ConnectionTest);
    check(answers(6 + ws::BurstSize, 10000), "the answer and the reply burst arrive");
    {
        std::lock_guard lock(probe.mutex);
        const ws::Bytes expected{ws::TestAnswer, ws::TestAnswer, ws::GoOn,
                                 ws::TestAnswer, ws::Refused,    ws::TestAnswer};
        const bool complete = probe.received.size() == 6 + ws::BurstSize;
        check(complete && ws::Bytes(probe.received.begin(), probe.received.begin() + 6) == expected,
              "the replies in order");
        check(complete && ws::Bytes(probe.received.begin() + 6, probe.received.end()) ==
                              ws::pattern(ws::BurstSize, ws::BurstSeed),
              "the burst in order, every byte");
        std::printf("received: %zu bytes in %zu reads\n", probe.received.size(), probe.reads);
    }
    probe.send(*link, ws::BacklightOn);

    // The stand-in closes its end now: the adapter is gone.
    check(probe.waitFor(15000, [&] { return probe.lost; }), "the unplugged line is reported lost");
    check(link->lost(), "the link knows it is lost");
    std::printf(
        "events: %llu comm events, %llu EV_RXCHAR, %llu EV_TXEMPTY; drains %llu on EV_TXEMPTY, %llu on "
        "the queue check, %llu on the clock (%llu looks found bytes still queued); %llu EV_TXEMPTY before "
        "the queue was empty; %llu writes (%llu bytes); %llu "
        "reads (%llu bytes), %llu with nothing waiting; %llu line errors; %llu retried failures\n",
        (unsigned long long)c.commEvents, (unsigned long long)c.rxCharEvents,
        (unsigned long long)c.txEmptyEvents, (unsigned long long)c.drainsOnTxEmpty,
        (unsigned long long)c.drainsOnCheck, (unsigned long long)c.drainsOnClock, (unsigned long long)c.clockBehind,
        (unsigned long long)c.earlyTxEmpty, (unsigned long long)c.writes,
        (unsigned long long)c.bytesWritten, (unsigned long long)c.reads, (unsigned long long)c.bytesRead,
        (unsigned long long)c.emptyReads, (unsigned long long)c.lineErrors,
        (unsigned long long)c.retriedFailures);
    std::printf("lost: error %lu\n", probe.lostError);
    link->wake(); // nobody listens any more: harmless
    const std::int64_t closeNs = nowNs();
    link.reset();
    const double closeMs = double(nowNs() - closeNs) / 1e6;
    check(closeMs < 3000, "closing a lost port does not hang");

    std::printf("%s: %d failed checks\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}
