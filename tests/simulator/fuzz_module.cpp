// libFuzzer entry for the module's parser. The first byte of the input chooses
// how the rest is cut into reads and where the line pauses, so the fuzzer
// explores splits and time-outs as well as contents.
#include "simulator/core/ModuleCore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

bool knownReplies(const QByteArray& replies) {
    for (char c : replies) {
        const auto b = std::uint8_t(c);
        if (b != 0xAA && b != 0x55 && b != 0x0C)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    panelix::ModuleCore core;
    const std::uint8_t shape = data[0];
    const auto chunk = std::size_t(1 + (shape & 0x1F));
    const bool pauses = (shape & 0x20) != 0;
    const auto* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;
    for (std::size_t at = 0, n = 0; at < length; at += chunk, ++n) {
        const std::size_t take = length - at < chunk ? length - at : chunk;
        check(knownReplies(core.feed(bytes + at, qsizetype(take))));
        if (pauses && n % 7 == 3)
            check(knownReplies(core.lineQuiet(panelix::ModuleCore::CommandTimeoutMs)));
    }
    check(core.imageMemory().size() == panelix::ImageMemorySize);
    check(core.fontMemory().size() == panelix::FontMemorySize);
    check(core.counters().bytesIn == qint64(length));
    // Whatever came before, a pause and a connection test bring the answer.
    check(knownReplies(core.lineQuiet(panelix::ModuleCore::TransferTimeoutMs)));
    const char test[] = {0x1D, 0x0C, 0x0D};
    check(core.feed(test, 3) == QByteArray(1, char(0x0C)));
    return 0;
}
