// Windows has no pseudo-terminals: the module is reached through an in-process
// line only (LinePeer), and the pty thread never starts.
#include "simulator/core/ModuleLink.h"

namespace panelix {

void ModuleLink::openWake() {}

void ModuleLink::closeWake() {}

bool ModuleLink::start(Timing timing) {
    lineRate_ = timing == Timing::LineRate;
    return false;
}

void ModuleLink::stop() {}

} // namespace panelix
