#include "link/PortList.h"

#include "link/PortListPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace panelix {

QString SerialPortInfo::label() const {
    QString text = QFileInfo(path).fileName();
    if (!description.isEmpty())
        text += QStringLiteral("  ") + description;
    if (hasUsbIds)
        text += QStringLiteral("  %1:%2").arg(vendorId, 4, 16, QLatin1Char('0')).arg(productId, 4, 16, QLatin1Char('0'));
    return text;
}

QList<SerialPortInfo> systemSerialPorts(const QString& byIdDir) {
    // The stable names are links to the current device nodes.
    QHash<QString, QString> stableByTarget;
    const QFileInfoList links = QDir(byIdDir).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& link : links) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty())
            stableByTarget.insert(target, link.absoluteFilePath());
    }
    QList<SerialPortInfo> out;
    for (const QSerialPortInfo& q : QSerialPortInfo::availablePorts()) {
        SerialPortInfo p;
        p.path = portPathOf(q);
        p.description = q.description();
        p.manufacturer = q.manufacturer();
        p.hasUsbIds = q.hasVendorIdentifier() && q.hasProductIdentifier();
        p.vendorId = q.vendorIdentifier();
        p.productId = q.productIdentifier();
        p.serialNumber = q.serialNumber();
        p.stablePath = stableByTarget.value(QFileInfo(p.path).canonicalFilePath());
        out << p;
    }
    std::sort(out.begin(), out.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.path < b.path; });
    return out;
}

const SerialPortInfo* findPort(const QList<SerialPortInfo>& ports, const QString& identityOrPath) {
    if (identityOrPath.isEmpty())
        return nullptr;
    for (const SerialPortInfo& p : ports) {
        if (p.identity() == identityOrPath || p.path == identityOrPath || p.stablePath == identityOrPath)
            return &p;
    }
    return nullptr;
}

} // namespace panelix
