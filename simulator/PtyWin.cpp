// Windows has no pseudo-terminals: a Pty never opens there, and whoever wanted one
// takes an in-process line instead (see simulator/ui/SimulatedModule).
#include "simulator/Pty.h"

namespace panelix {

Pty::~Pty() = default;

bool Pty::open() {
    return false;
}

void Pty::releaseSlave() {}

void Pty::closeMaster() {}

bool Pty::writeAll(const QByteArray&) {
    return false;
}

QByteArray Pty::readAvailable() {
    return {};
}

QByteArray Pty::readExactly(int, int) {
    return {};
}

QByteArray Pty::readUntilQuiet(int, int) {
    return {};
}

} // namespace panelix
