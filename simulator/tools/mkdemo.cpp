// panelix-mkdemo: writes the demo 1-bit BMP pictures into a directory.
#include "simulator/tools/DemoImages.h"
#include "simulator/tools/Hzk16Font.h"
#include "simulator/tools/ToolText.h"
#include "simulator/tools/UnifontHex.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

const char* const defaultUnifont = panelix::tools::DefaultUnifontHex;
using panelix::tools::print;

void usage(std::FILE* to) {
    print(to, QStringLiteral("Usage: panelix-mkdemo DIR [--unifont UNIFONT_HEX | --font HZK16]\n"
                             "Writes demo 1-bit BMP pictures into DIR; text is drawn with GNU Unifont\n"
                             "(default %1) or an HZK16 font file.\n"
                             "用法: panelix-mkdemo 目录 [--unifont Unifont字形文件 | --font HZK16字库]\n"
                             "在目录中生成演示用单色BMP位图。\n")
                  .arg(QString::fromLatin1(defaultUnifont)));
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if ((argc != 2 && argc != 4) || argv[1][0] == '-' ||
        (argc == 4 && std::strcmp(argv[2], "--unifont") != 0 && std::strcmp(argv[2], "--font") != 0)) {
        usage(stderr);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);

    panelix::GlyphMap glyphs;
    QString error;
    if (argc == 4 && std::strcmp(argv[2], "--font") == 0) {
        const QString path = QString::fromLocal8Bit(argv[3]);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            print(stderr, QStringLiteral("找不到字库文件:") + path + QLatin1Char('\n'));
            return 1;
        }
        glyphs = panelix::glyphsFromHzk16(file.readAll());
    } else if (argc == 4) {
        if (!panelix::readUnifontHex(QString::fromLocal8Bit(argv[3]), &glyphs, &error)) {
            print(stderr, error + QLatin1Char('\n'));
            return 1;
        }
    } else if (!panelix::readUnifontHex(QString::fromLatin1(defaultUnifont), &glyphs, &error)) {
        print(stderr, error + QStringLiteral("\n演示位图中不含文字。(Debian: apt install unifont)\n"));
    }

    QStringList written;
    if (!panelix::writeDemoImages(dir, glyphs, &written, &error)) {
        print(stderr, error + QLatin1Char('\n'));
        return 1;
    }
    for (const QString& path : written)
        print(stdout, path + QLatin1Char('\n'));
    return 0;
}
