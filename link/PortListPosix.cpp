// Serial devices on POSIX systems: device nodes, owned by a group such as dialout.
#include "link/PortListPlatform.h"

#include <QFile>
#include <QSerialPortInfo>

#include <grp.h>
#include <sys/stat.h>

namespace panelix {

QString portPathOf(const QSerialPortInfo& port) {
    return port.systemLocation(); // /dev/ttyUSB0
}

QString deviceGroup(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QString();
    const group* g = ::getgrgid(st.st_gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString();
}

} // namespace panelix
