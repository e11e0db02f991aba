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

bool portNameLess(const QString& a, const QString& b) {
    const qsizetype na = a.size();
    const qsizetype nb = b.size();
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < na && j < nb) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Two numbers: leading zeros aside, the longer is the larger, else the first
            // differing digit decides.
            qsizetype ei = i;
            qsizetype ej = j;
            while (ei < na && a[ei].isDigit())
                ++ei;
            while (ej < nb && b[ej].isDigit())
                ++ej;
            qsizetype si = i;
            qsizetype sj = j;
            while (si + 1 < ei && a[si] == u'0')
                ++si;
            while (sj + 1 < ej && b[sj] == u'0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            for (; si < ei; ++si, ++sj) {
                if (a[si] != b[sj])
                    return a[si] < b[sj];
            }
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = a[i].toCaseFolded();
        const QChar cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if (i < na || j < nb)
        return i >= na; // a prefix of the other comes first
    // Equal but for case or leading zeros: plain order, so that different names never tie.
    return a < b;
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
    std::sort(out.begin(), out.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) { return portNameLess(a.path, b.path); });
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
