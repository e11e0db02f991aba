#include "cli/Cli.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace panelix::cli {

namespace {

// Opened without waiting for carrier and without becoming our controlling terminal. A
// legacy 8250 slot without a UART behind it (most /dev/ttyS*) says PORT_UNKNOWN.
bool answersAsSerial(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES || errno == EPERM || errno == EBUSY; // there, but not ours to probe
    termios t{};
    bool serial = ::tcgetattr(fd, &t) == 0;
    serial_struct info{};
    if (serial && ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN)
        serial = false;
    ::close(fd);
    return serial;
}

} // namespace

QStringList findSerialPorts() {
    QStringList found;
    QSet<QString> devices;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString device = link.canonicalFilePath();
        if (!device.isEmpty() && !devices.contains(device) && answersAsSerial(device)) {
            devices.insert(device);
            found << link.absoluteFilePath();
        }
    }
    const QDir dev(QStringLiteral("/dev"));
    for (const QString& pattern : {QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*"), QStringLiteral("ttyS*")}) {
        QStringList names = dev.entryList({pattern}, QDir::System | QDir::Files);
        // ttyS2 before ttyS10.
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        for (const QString& name : names) {
            const QString path = dev.filePath(name);
            const QString device = QFileInfo(path).canonicalFilePath();
            if (!devices.contains(device) && answersAsSerial(path)) {
                devices.insert(device);
                found << path;
            }
        }
    }
    return found;
}

} // namespace panelix::cli
