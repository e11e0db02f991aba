// The choice between the operating system's device and an in-process line, and
// what every backend shares.
#include "link/LinkCore.h"

#include "common/LinePeer.h"

namespace panelix {

qint64 byteTimeNs(const LineSettings& s) {
    const int bits = 1 + s.dataBits + (s.parity != 'n' ? 1 : 0) + s.stopBits;
    return qint64(bits) * 1000000000 / (s.baud > 0 ? s.baud : 9600);
}

std::unique_ptr<PortBackend> PortBackend::open(const QString& path, const LineSettings& settings, CommPort* owner,
                                               OpenError* error, QString* text) {
    if (!isInProcessDevice(path))
        return openDevice(path, settings, owner, error, text);
    if (!linePeerRegistered(path)) {
        *error = OpenError::NoDevice;
        *text = QStringLiteral("no module in this program is called %1").arg(path);
        return nullptr;
    }
    std::unique_ptr<PortBackend> backend(new PortBackend);
    PortBackend* b = backend.get();
    // Commands come only after open() has returned, when the line exists.
    backend->core_ = std::make_unique<LinkCore>(owner, [b] { b->line_->wake(); });
    backend->line_ = std::make_unique<InProcessLine>(path, byteTimeNs(settings), *backend->core_);
    backend->line_->start();
    *error = OpenError::None;
    text->clear();
    return backend;
}

bool PortBackend::apply(const LineSettings& settings) {
    if (!line_)
        return applyDevice(settings);
    line_->setByteNs(byteTimeNs(settings));
    return true;
}

} // namespace panelix
