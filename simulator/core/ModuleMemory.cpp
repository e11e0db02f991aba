#include "simulator/core/ModuleMemory.h"

#include "link/ModuleCodes.h"

#include <algorithm>

namespace panelix {

namespace {
std::uint8_t at(const QByteArray& memory, int position) {
    return position < memory.size() ? std::uint8_t(memory[position]) : 0;
}
} // namespace

ImageDirectory decodeDirectory(const QByteArray& memory) {
    ImageDirectory dir;
    dir.count = at(memory, 0);
    dir.end = module::positionOf({at(memory, 1), at(memory, 2), at(memory, 3)});
    const int entries = std::min(dir.count, module::DirectoryEntries - 1);
    dir.images.reserve(std::size_t(entries));
    for (int k = 1; k <= entries; ++k) {
        const int e = 8 * k;
        StoredImage image;
        image.widthBytes = at(memory, e);
        image.height = at(memory, e + 1) | at(memory, e + 7) << 8;
        image.start = module::positionOf({at(memory, e + 2), at(memory, e + 3), at(memory, e + 4)});
        dir.images.push_back(image);
    }
    return dir;
}

int hzk16Offset(std::uint8_t lead, std::uint8_t trail) {
    if (lead < 0xA1 || lead > 0xFE || trail < 0xA1 || trail > 0xFE)
        return -1;
    return ((lead - 0xA1) * Hzk16RowCells + (trail - 0xA1)) * GlyphBytes;
}

} // namespace panelix
