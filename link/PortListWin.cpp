// Serial devices on Windows: COM names; no device nodes and no groups.
#include "link/PortListPlatform.h"

#include <QSerialPortInfo>

namespace panelix {

QString portPathOf(const QSerialPortInfo& port) {
    return port.portName(); // COM3 (systemLocation() is \\.\COM3)
}

QString deviceGroup(const QString&) {
    return QString(); // access to a COM port is not granted through a group
}

} // namespace panelix
