#include "support/ScriptedModule.h"

#include "protocol/Module.h"
#include "simulator/LineClock.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

namespace panelix {

namespace {
using lineclock::sleepUntilNs;
const auto monoNs = lineclock::nowNs;
} // namespace

ScriptedModule::ScriptedModule(Pty& pty) : pty_(pty) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

ScriptedModule::~ScriptedModule() {
    stop();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void ScriptedModule::start(const Config& config) {
    stop();
    config_ = config;
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void ScriptedModule::stop() {
    if (!thread_.joinable())
        return;
    stop_ = true;
    const quint64 one = 1;
    [[maybe_unused]] auto w = ::write(wakeFd_, &one, sizeof one);
    thread_.join();
}

void ScriptedModule::send(const QByteArray& bytes) {
    if (!thread_.joinable()) {
        pty_.writeAll(bytes);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        outbox_.append(bytes);
    }
    const quint64 one = 1;
    [[maybe_unused]] auto w = ::write(wakeFd_, &one, sizeof one);
}

QByteArray ScriptedModule::received() const {
    std::lock_guard lock(mutex_);
    return QByteArray(received_.constData(), received_.size()); // a copy of its own for the test thread
}

QByteArray ScriptedModule::dataBytes() const {
    std::lock_guard lock(mutex_);
    return QByteArray(data_.constData(), data_.size()); // a copy of its own for the test thread
}

qint64 ScriptedModule::receivedCount() const {
    std::lock_guard lock(mutex_);
    return received_.size();
}

void ScriptedModule::resync() {
    std::lock_guard lock(mutex_);
    expected_ = 0;
    pending_.clear();
}

void ScriptedModule::clear() {
    std::lock_guard lock(mutex_);
    received_.clear();
    data_.clear();
    pending_.clear();
    expected_ = 0;
    errorSent_ = false;
}

bool ScriptedModule::waitForCount(qint64 count, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return received_.size() >= count; });
}

bool ScriptedModule::waitForData(qint64 count, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return data_.size() >= count; });
}

// Called with mutex_ held. Decides what the module answers to each byte.
void ScriptedModule::take(std::uint8_t byte) {
    using namespace module;
    received_.append(char(byte));
    if (expected_ > 0) {
        data_.append(char(byte));
        --expected_;
        if (config_.errorAfterDataBytes >= 0 && !errorSent_ && data_.size() >= config_.errorAfterDataBytes) {
            errorSent_ = true;
            expected_ = 0;
            outbox_.append(char(ReplyError));
        }
        return;
    }
    if (pending_.isEmpty() && byte != TransferIntro && byte != Introducer)
        return; // stray byte between frames
    pending_.append(char(byte));
    const auto first = std::uint8_t(pending_[0]);
    if (first == TransferIntro) {
        if (pending_.size() < HeaderSize)
            return;
        const module::TransferHeader header =
            decodeHeader(reinterpret_cast<const std::uint8_t*>(pending_.constData()));
        const qint64 length = header.kind == module::TransferHeader::Kind::Invalid ? -1 : qint64(header.length);
        pending_.clear();
        if (length < 0 || !config_.answerHeaders)
            return;
        data_.clear();
        errorSent_ = false;
        expected_ = length;
        headers_++;
        outbox_.append(char(ReplyGoOn));
        return;
    }
    // A single command: collect up to the terminator.
    if (byte == Terminator && pending_.size() >= 3) {
        if (pending_.size() == 3 && std::uint8_t(pending_[1]) == CmdConnectionTest && config_.answerTest) {
            tests_++;
            outbox_.append(char(ReplyTestOk));
        }
        pending_.clear();
    } else if (pending_.size() > 512) {
        pending_.clear();
    }
}

void ScriptedModule::run() {
    const int fd = pty_.masterFd();
    const qint64 byteNs = qint64(10) * 1000000000 / config_.baud;
    qint64 lineFreeNs = 0;
    bool backlog = false;
    for (;;) {
        QByteArray out;
        {
            std::lock_guard lock(mutex_);
            out.swap(outbox_);
        }
        if (!out.isEmpty())
            pty_.writeAll(out);
        if (stop_)
            return;
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int r = ::poll(p, 2, 200);
        if (r < 0 && errno != EINTR)
            return;
        if (p[1].revents & POLLIN) {
            quint64 v;
            [[maybe_unused]] auto n = ::read(wakeFd_, &v, sizeof v);
        }
        if (!(p[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        if (config_.lineRate) {
            // One byte per byte time, taken when its last bit has arrived. A byte
            // that was already waiting follows its predecessor without a gap.
            const qint64 start = backlog ? lineFreeNs : std::max(monoNs(), lineFreeNs);
            lineFreeNs = start + byteNs;
            sleepUntilNs(lineFreeNs);
            char c;
            const ssize_t n = ::read(fd, &c, 1);
            int waiting = 0;
            backlog = n == 1 && ::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0;
            if (n == 1) {
                const qint64 t = monoNs();
                std::lock_guard lock(mutex_);
                if (firstNs_ == 0)
                    firstNs_ = t;
                lastNs_ = t;
                take(std::uint8_t(c));
                changed_.notify_all();
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                ::usleep(2000); // far side gone: nothing to read until it reopens
            }
            continue;
        }
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            const qint64 t = monoNs();
            std::lock_guard lock(mutex_);
            if (firstNs_ == 0)
                firstNs_ = t;
            lastNs_ = t;
            for (ssize_t i = 0; i < n; ++i)
                take(std::uint8_t(buf[i]));
            changed_.notify_all();
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            ::usleep(2000);
        }
    }
}

} // namespace panelix
