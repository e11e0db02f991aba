// The serial port on Windows: the COM port and its link thread live in
// win::SerialLink (Win32 only, no Qt); this file hands its calls to LinkCore,
// which applies the module's reply rules and talks to the owning thread. The
// drained moment is the driver's own EV_TXEMPTY, or where sleeps are precise (Wine)
// the bytes' line time confirmed by the driver's queue (win::DrainSource).
#include "link/LinkCore.h"

#include "link/win/WinSerialLink.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace panelix {

namespace {

win::SerialSettings serialSettings(const LineSettings& s) {
    win::SerialSettings out;
    out.baud = std::uint32_t(s.baud);
    out.parity = s.parity;
    out.dataBits = s.dataBits;
    out.stopBits = s.stopBits;
    return out;
}

OpenError openError(win::OpenFailure f) {
    switch (f) {
    case win::OpenFailure::None:
        return OpenError::None;
    case win::OpenFailure::NoDevice:
        return OpenError::NoDevice;
    case win::OpenFailure::NoPermission:
        return OpenError::NoPermission;
    case win::OpenFailure::InUse:
        return OpenError::InUse;
    case win::OpenFailure::NotSerial:
        return OpenError::NotSerial;
    case win::OpenFailure::Unknown:
        break;
    }
    return OpenError::Unknown;
}

QString systemMessage(unsigned long error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, DWORD(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message = n && text ? QString::fromWCharArray(text, int(n)).trimmed()
                                : QStringLiteral("system error %1").arg(error);
    LocalFree(text);
    return message;
}

void append(const QByteArray& from, win::Bytes& to) {
    to.insert(to.end(), reinterpret_cast<const std::uint8_t*>(from.constData()),
              reinterpret_cast<const std::uint8_t*>(from.constData()) + from.size());
}

} // namespace

// COM ports are opened with CreateFileW: there is no open() to stand in for.
void setDeviceOpener(DeviceOpener) {}
// The link thread waits in WaitForMultipleObjects: no epoll.
void setEpollPwait2Available(bool) {}

struct PortBackend::Impl : win::LinkHandler {
    std::unique_ptr<win::SerialLink> link;
    LinkCore* core = nullptr;
    QByteArray out; // the link thread's scratch buffer

    void takeCommands(win::Bytes& bytes) override {
        out.clear();
        core->takeCommands(out);
        append(out, bytes);
    }
    void onRead(const win::Bytes& bytes, std::int64_t nowNs, win::Bytes& write) override {
        out.clear();
        core->onRead(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())), nowNs,
                     out);
        append(out, write);
    }
    void onTxEmpty(std::int64_t drainedNs, win::Bytes& write) override {
        // Everything given before has left the driver.
        core->written();
        out.clear();
        core->onDrained(drainedNs, out);
        if (!out.isEmpty())
            core->recordDrainLatency(win::nowNs() - drainedNs);
        append(out, write);
    }
    void onLost(unsigned long) override {
        // The same path as an unplugged adapter on Linux: "串口已断开!".
        core->written();
        core->lost();
    }
};

PortBackend::PortBackend() = default;

std::unique_ptr<PortBackend> PortBackend::openDevice(const QString& path, const LineSettings& settings,
                                               CommPort* owner, OpenError* error, QString* text) {
    win::OpenFailure failure = win::OpenFailure::None;
    unsigned long code = 0;
    std::unique_ptr<win::SerialLink> link =
        win::SerialLink::open(path.toStdWString(), serialSettings(settings), &failure, &code);
    if (!link) {
        *error = openError(failure);
        if (path.isEmpty())
            *text = QStringLiteral("no device");
        else if (failure == win::OpenFailure::NotSerial)
            *text = QStringLiteral("not a serial device"); // a disk file says "success" here
        else
            *text = systemMessage(code);
        return nullptr;
    }
    std::unique_ptr<PortBackend> backend(new PortBackend);
    backend->impl_ = std::make_unique<Impl>();
    Impl* impl = backend->impl_.get();
    impl->link = std::move(link);
    win::SerialLink* serial = impl->link.get();
    backend->core_ = std::make_unique<LinkCore>(owner, [serial] { serial->wake(); });
    impl->core = backend->core_.get();
    serial->start(impl);
    *error = OpenError::None;
    text->clear();
    return backend;
}

bool PortBackend::applyDevice(const LineSettings& settings) {
    return impl_->link->apply(serialSettings(settings));
}

PortBackend::~PortBackend() {
    // The link thread calls into the core: it ends before the core goes.
    if (impl_)
        impl_->link.reset();
}

} // namespace panelix
