// The whole HZK16 (7,445 GB2312 characters) from an outline font at 16 dots, beside
// FreeType's own render loop over the same characters (load + render to grey, nothing
// else) in the same run. The build must take under 3 s.
#include "common/Gbk.h"
#include "fontbuild/FontBuild.h"

#include <QElapsedTimer>
#include <QFile>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace panelix;

int main(int argc, char** argv) {
    const QString font = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QStringLiteral("/usr/share/fonts/truetype/wqy/wqy-microhei.ttc");
    std::vector<char32_t> characters;
    for (int lead = 0xA1; lead <= 0xF7; ++lead)
        for (int trail = 0xA1; trail <= 0xFE; ++trail)
            if (const char32_t c = gb2312ToUnicode(quint8(lead), quint8(trail)))
                characters.push_back(c);

    constexpr int Rounds = 5;
    std::vector<double> buildMs, freetypeMs;
    HzkFont built;
    unsigned sink = 0;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer t;
        t.start();
        built = buildHzk(font, {});
        buildMs.push_back(double(t.nsecsElapsed()) / 1e6);
        if (built.error != FontBuildError::None) {
            std::fprintf(stderr, "cannot build from %s (error %d)\n", qPrintable(font), int(built.error));
            return 1;
        }

        // FreeType alone: open the face at 16 px and render every glyph.
        t.start();
        FT_Library lib;
        FT_Face face;
        FT_Init_FreeType(&lib);
        if (FT_New_Face(lib, QFile::encodeName(font).constData(), 0, &face) != 0) {
            std::fprintf(stderr, "FreeType cannot open %s\n", qPrintable(font));
            return 1;
        }
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        FT_Set_Pixel_Sizes(face, 0, 16);
        for (char32_t c : characters)
            if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) == 0)
                sink += face->glyph->bitmap.rows;
        FT_Done_Face(face);
        FT_Done_FreeType(lib);
        freetypeMs.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(buildMs.begin(), buildMs.end());
    std::sort(freetypeMs.begin(), freetypeMs.end());
    const double build = buildMs[Rounds / 2], ft = freetypeMs[Rounds / 2];
    std::printf("%s at 16 px: %zu GB2312 characters, %d with a glyph, %lld bytes\n", qPrintable(font),
                characters.size(), built.covered, static_cast<long long>(built.file.size()));
    std::printf("median of %d rounds\n", Rounds);
    std::printf("  HZK16 build                  %8.1f ms\n", build);
    std::printf("  FreeType load+render loop    %8.1f ms\n", ft);
    std::printf("  ratio build / FreeType       %8.2f x\n", build / ft);
    std::printf("goal < 3000 ms%s   [%u]\n", build < 3000 ? "" : "  MISSED", sink & 1);
    return build < 3000 ? 0 : 1;
}
