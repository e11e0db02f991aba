#pragma once

#include <QString>

#include <cstdio>

// What the data tools share: where Debian keeps GNU Unifont, and console output.
namespace panelix::tools {

inline constexpr const char* DefaultUnifontHex = "/usr/share/unifont/unifont.hex";

inline void print(std::FILE* to, const QString& text) {
    std::fputs(text.toUtf8().constData(), to);
}

} // namespace panelix::tools
