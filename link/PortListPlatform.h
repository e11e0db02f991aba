#pragma once

// Private to panelix_portlist: what PortListPosix.cpp or PortListWin.cpp tells.

#include "link/PortList.h"

class QSerialPortInfo;

namespace panelix {

// The name CommPort opens the device by: /dev/ttyUSB0, or COM3 on Windows.
QString portPathOf(const QSerialPortInfo& port);

} // namespace panelix
