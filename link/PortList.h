#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>

namespace panelix {

// A serial device as the system describes it.
struct SerialPortInfo {
    QString path;         // /dev/ttyUSB0
    QString description;  // "FT232R USB UART"
    QString manufacturer;
    bool hasUsbIds = false;
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString serialNumber;
    QString stablePath;   // /dev/serial/by-id/... when the adapter has one: it survives a replug

    // What a choice of this device is remembered by: the stable path when there is
    // one (the same adapter in another socket has the same), else the path.
    QString identity() const { return stablePath.isEmpty() ? path : stablePath; }
    // "ttyUSB0  FT232R USB UART  0403:6001" for a list.
    QString label() const;
    bool operator==(const SerialPortInfo&) const = default;
};

// Where the serial devices come from; tests give their own.
using PortSource = std::function<QList<SerialPortInfo>()>;

// The system's serial devices (Qt Serial Port's enumeration, which leaves out
// pseudo-terminals), each with its stable path from byIdDir, sorted by path in
// portNameLess's order.
QList<SerialPortInfo> systemSerialPorts(const QString& byIdDir = QStringLiteral("/dev/serial/by-id"));

// The order of port names in every list: runs of digits compare by their value, so
// COM2 comes before COM10 and /dev/ttyUSB2 before /dev/ttyUSB10; letters compare
// without regard to case. A strict weak order with ties only between equal strings.
bool portNameLess(const QString& a, const QString& b);

// The group that owns a device node ("dialout"), for the advice on a permission
// failure; empty when it cannot be told.
QString deviceGroup(const QString& path);

// The device of ports that a remembered identity or typed path names, or nullptr.
const SerialPortInfo* findPort(const QList<SerialPortInfo>& ports, const QString& identityOrPath);

} // namespace panelix
