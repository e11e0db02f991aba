#include "common/LinePeer.h"

#include <QHash>

#include <mutex>

namespace panelix {

namespace {

struct Registry {
    std::mutex mutex;
    QHash<QString, LinePeer*> peers;
};

Registry& registry() {
    static Registry r;
    return r;
}

} // namespace

bool isInProcessDevice(const QString& device) {
    return device.startsWith(QLatin1String("inproc:"));
}

void registerLinePeer(const QString& device, LinePeer* peer) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.peers.insert(device, peer);
}

void unregisterLinePeer(LinePeer* peer) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto it = r.peers.begin(); it != r.peers.end();) {
        if (it.value() == peer)
            it = r.peers.erase(it);
        else
            ++it;
    }
}

bool linePeerRegistered(const QString& device) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.peers.contains(device);
}

bool withLinePeer(const QString& device, const std::function<void(LinePeer&)>& fn) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    LinePeer* peer = r.peers.value(device);
    if (!peer)
        return false;
    fn(*peer);
    return true;
}

} // namespace panelix
