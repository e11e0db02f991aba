#pragma once

// Private to the command line tool: what the factory mode does when the list of serial
// adapters changes. It knows no port and no session: it is given the adapters present
// now (a PortSource) and says which to program and which were pulled while busy.

#include "link/PortList.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

namespace panelix::cli {

// Which adapters are the line's: a wildcard on the name (stable name, path, or either's
// file name) and/or USB ids. Empty: every adapter.
struct WatchFilter {
    QString pattern;
    bool byUsb = false;
    quint16 vendorId = 0;
    quint16 productId = 0;

    bool matches(const SerialPortInfo& port) const;
    // "0403:6001" (hexadecimal); false when the text is not two 16-bit hexadecimal ids.
    static bool parseUsbIds(const QString& text, quint16* vendorId, quint16* productId);
};

enum class WatchAction {
    Program, // plugged in: program the module behind it
    Lost,    // pulled while its module was being programmed
};

struct WatchStep {
    WatchAction action = WatchAction::Program;
    SerialPortInfo port;
};

class WatchPlanner {
public:
    WatchPlanner(PortSource source, WatchFilter filter) : source_(std::move(source)), filter_(std::move(filter)) {}

    // Reads the adapter list once and returns what to do, pulled adapters first. An adapter
    // is known by its stable name: while it stays plugged in (programming or done) it is
    // not programmed again; pulled and plugged in again, it is.
    QList<WatchStep> poll();
    // The module behind identity has been dealt with (done or failed); it is programmed again
    // only after its adapter has been pulled and plugged in again.
    void finished(const QString& identity) { busy_.remove(identity); }
    bool busy(const QString& identity) const { return busy_.contains(identity); }
    int busyCount() const { return int(busy_.size()); }

private:
    PortSource source_;
    WatchFilter filter_;
    QHash<QString, SerialPortInfo> present_; // matching adapters plugged in at the last poll, by identity
    QSet<QString> busy_;    // of those, the ones being programmed
};

} // namespace panelix::cli
