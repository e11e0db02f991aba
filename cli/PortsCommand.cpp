// ports: the serial devices of this machine.

#include "cli/Command.h"

#include "link/PortList.h"

namespace panelix::cli {

int Command::cmdPorts() {
    const QList<SerialPortInfo> ports = systemSerialPorts();
    for (const SerialPortInfo& p : ports) {
        const QString ids = p.hasUsbIds ? QStringLiteral("%1:%2")
                                              .arg(p.vendorId, 4, 16, QLatin1Char('0'))
                                              .arg(p.productId, 4, 16, QLatin1Char('0'))
                                        : QString();
        if (json()) {
            jsonLine({{"event", "port"}, {"port", p.path}, {"stable", p.stablePath}, {"description", p.description},
                      {"manufacturer", p.manufacturer}, {"usb", ids}, {"serial", p.serialNumber}});
            continue;
        }
        // The stable name first: it is the one to give --port on a production line.
        QString line = p.identity();
        for (const QString& part : {p.identity() != p.path ? p.path : QString(), p.description, p.manufacturer, ids,
                                    p.serialNumber.isEmpty() ? QString() : QStringLiteral("serial ") + p.serialNumber}) {
            if (!part.isEmpty())
                line += QStringLiteral("  ") + part;
        }
        io_.out(line + QLatin1Char('\n'));
    }
    if (ports.isEmpty() && !json())
        io_.err(QStringLiteral("panelix-cli: no serial devices found\n"));
    return ExitDone;
}

} // namespace panelix::cli
