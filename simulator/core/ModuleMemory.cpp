#include "simulator/core/ModuleMemory.h"

namespace panelix {

int hzk16Offset(std::uint8_t lead, std::uint8_t trail) {
    if (lead < 0xA1 || lead > 0xFE || trail < 0xA1 || trail > 0xFE)
        return -1;
    return ((lead - 0xA1) * Hzk16RowCells + (trail - 0xA1)) * GlyphBytes;
}

} // namespace panelix
