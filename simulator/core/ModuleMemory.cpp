#include "simulator/core/ModuleMemory.h"

namespace panelix {

int hzk16Offset(std::uint8_t lead, std::uint8_t trail) {
    return module::fontCellOffset(lead, trail);
}

} // namespace panelix
