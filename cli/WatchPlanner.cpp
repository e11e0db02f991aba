#include "cli/WatchPlanner.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace panelix::cli {

bool WatchFilter::matches(const SerialPortInfo& port) const {
    if (byUsb && (!port.hasUsbIds || port.vendorId != vendorId || port.productId != productId))
        return false;
    if (pattern.isEmpty())
        return true;
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(
        pattern, QRegularExpression::UnanchoredWildcardConversion));
    const auto whole = [&](const QString& name) {
        if (name.isEmpty())
            return false;
        const QRegularExpressionMatch m = re.match(name);
        return m.hasMatch() && m.capturedStart() == 0 && m.capturedLength() == name.size();
    };
    return whole(port.path) || whole(port.stablePath) || whole(QFileInfo(port.path).fileName()) ||
           whole(QFileInfo(port.stablePath).fileName());
}

bool WatchFilter::parseUsbIds(const QString& text, quint16* vendorId, quint16* productId) {
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 2 || parts[0].isEmpty() || parts[1].isEmpty() || parts[0].size() > 4 || parts[1].size() > 4)
        return false;
    bool okV = false;
    bool okP = false;
    const uint v = parts[0].toUInt(&okV, 16);
    const uint p = parts[1].toUInt(&okP, 16);
    if (!okV || !okP)
        return false;
    *vendorId = quint16(v);
    *productId = quint16(p);
    return true;
}

QList<WatchStep> WatchPlanner::poll() {
    QList<WatchStep> lost;
    QList<WatchStep> program;
    QHash<QString, SerialPortInfo> now;
    QList<SerialPortInfo> ports = source_ ? source_() : QList<SerialPortInfo>{};
    for (const SerialPortInfo& port : ports) {
        if (!filter_.matches(port))
            continue;
        const QString id = port.identity();
        if (now.contains(id))
            continue;
        now.insert(id, port);
        if (!present_.contains(id)) {
            busy_.insert(id);
            program.append({WatchAction::Program, port});
        }
    }
    for (auto it = present_.cbegin(); it != present_.cend(); ++it) {
        if (!now.contains(it.key()) && busy_.remove(it.key()))
            lost.append({WatchAction::Lost, it.value()});
    }
    present_ = now;
    return lost + program;
}

} // namespace panelix::cli
