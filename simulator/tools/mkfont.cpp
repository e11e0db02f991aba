// panelix-mkfont: writes an HZK16-layout font (94 x 94 cells of 16 x 16 dots)
// from GNU Unifont, for the module's font download.
#include "common/DataDir.h"
#include "simulator/tools/Hzk16Font.h"
#include "simulator/tools/ToolText.h"
#include "simulator/tools/UnifontHex.h"

#include <QString>

#include <cstdio>
#include <cstring>

namespace {

const char* const defaultUnifont = panelix::tools::DefaultUnifontHex;
using panelix::tools::print;

void usage(std::FILE* to) {
    print(to, QStringLiteral("Usage: panelix-mkfont OUTPUT [UNIFONT_HEX]\n"
                             "Writes an HZK16-layout font from GNU Unifont (default %1).\n"
                             "用法: panelix-mkfont 输出文件 [Unifont字形文件]\n"
                             "由GNU Unifont生成HZK16格式的16×16点阵字库。\n")
                  .arg(QString::fromLatin1(defaultUnifont)));
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        usage(stderr);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    const QString source = QString::fromLocal8Bit(argc == 3 ? argv[2] : defaultUnifont);

    panelix::GlyphMap glyphs;
    QString error;
    if (!panelix::readUnifontHex(source, &glyphs, &error)) {
        print(stderr, error + QStringLiteral("\n(Debian: apt install unifont)\n"));
        return 1;
    }
    const panelix::Hzk16Build font = panelix::buildHzk16(glyphs);
    if (font.assigned == 0) {
        print(stderr, QStringLiteral("没有可用的GB2312编码转换器,无法生成字库!\n"));
        return 1;
    }
    if (!panelix::writeFileAtomically(output, font.file, &error)) {
        print(stderr,
              QStringLiteral("字库文件写入失败:") + output + QLatin1Char(' ') + error + QLatin1Char('\n'));
        return 1;
    }
    print(stdout, QStringLiteral("%1: %2字节, GB2312字符%3个中有字形%4个, 汉字%5个中有%6个\n")
                      .arg(output)
                      .arg(font.file.size())
                      .arg(font.assigned)
                      .arg(font.covered)
                      .arg(font.hanziAssigned)
                      .arg(font.hanziCovered));
    return 0;
}
