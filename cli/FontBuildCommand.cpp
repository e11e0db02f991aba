// panelix-cli font build: a font file rendered into the module's HZK16, or the characters of a
// text as a small indexed font, for firmware.
#include "cli/FirmwareCommands.h"
#include "cli/Paths.h"
#include "common/DataDir.h"
#include "export/CText.h"
#include "fontbuild/FontBuild.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace panelix::cli {

namespace {

const char* const FontBuildUsage =
    "Usage: panelix-cli font build --from FONT --size N [--chars TEXT | --gb2312] [options] -o FILE\n"
    "\n"
    "  --from FONT       TTF, OTF, TTC, BDF or PCF file\n"
    "  --size N          cell size in dots: 12, 16, 24, 32 (8..64); bitmap fonts need a strike\n"
    "                    of that size\n"
    "  --gb2312          all 7,445 GB2312 characters in the HZK layout (default)\n"
    "  --chars TEXT      only the characters of TEXT\n"
    "  --format FMT      hzk: 94 x 94 cells, one per GB2312 code (at 16 dots the module's\n"
    "                    hzk16; with --chars only their cells are filled, ASCII in the cells of\n"
    "                    the full-width forms); c: C source (with --chars: an index of GBK\n"
    "                    codes and the cells); bin: binary (with --chars: count, cell size,\n"
    "                    cell bytes, index, cells). Default from -o's extension (.c, .bin),\n"
    "                    else hzk\n"
    "  --threshold N     1..255: grey from which an outline glyph's dot is dark (default 128)\n"
    "  --baseline N      move the glyphs N dots down (negative: up)\n"
    "  --x-offset N      move the glyphs N dots right\n"
    "  --face N          the face of a font collection (default 0)\n"
    "  --name NAME       the C array's name (default: from -o's file name)\n"
    "  -o FILE           where to write\n";

QString fontErrorText(FontBuildError e, const QString& font, int size) {
    switch (e) {
    case FontBuildError::None: return QString();
    case FontBuildError::CannotRead: return QStringLiteral("font file not found or unreadable: %1").arg(font);
    case FontBuildError::NotAFont: return QStringLiteral("not a font file: %1").arg(font);
    case FontBuildError::NoSuchFace: return QStringLiteral("no such face in the font collection: %1").arg(font);
    case FontBuildError::SizeNotInFont: return QStringLiteral("the font has no %1-dot size: %2").arg(size).arg(font);
    case FontBuildError::NoUnicodeCharmap: return QStringLiteral("the font has no Unicode character map: %1").arg(font);
    case FontBuildError::BadSize:
        return QStringLiteral("--size must be %1..%2, not %3").arg(MinPixelSize).arg(MaxPixelSize).arg(size);
    case FontBuildError::BadThreshold: return QStringLiteral("--threshold must be 1..255");
    case FontBuildError::NoCharacters: return QStringLiteral("no character of the text has a GB2312 (GBK) code and a glyph");
    case FontBuildError::NoGbkCodec: return QStringLiteral("this Qt build has no GBK codec (it needs ICU)");
    }
    return QString();
}

class FontBuildCommand : FirmwareCommand {
public:
    explicit FontBuildCommand(const Io& io) : FirmwareCommand(io, "font build") {}
    int run(const QStringList& arguments);

private:
};

int FontBuildCommand::run(const QStringList& arguments) {
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QString()};
    const QCommandLineOption from{QStringLiteral("from"), QString(), QStringLiteral("FONT")};
    const QCommandLineOption size{QStringLiteral("size"), QString(), QStringLiteral("N")};
    const QCommandLineOption chars{QStringLiteral("chars"), QString(), QStringLiteral("TEXT")};
    const QCommandLineOption gb2312{QStringLiteral("gb2312"), QString()};
    const QCommandLineOption format{QStringLiteral("format"), QString(), QStringLiteral("FMT")};
    const QCommandLineOption threshold{QStringLiteral("threshold"), QString(), QStringLiteral("N")};
    const QCommandLineOption baseline{QStringLiteral("baseline"), QString(), QStringLiteral("N")};
    const QCommandLineOption xOffset{QStringLiteral("x-offset"), QString(), QStringLiteral("N")};
    const QCommandLineOption face{QStringLiteral("face"), QString(), QStringLiteral("N")};
    const QCommandLineOption name{QStringLiteral("name"), QString(), QStringLiteral("NAME")};
    const QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("FILE")};
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QCommandLineOption* o : {&help, &from, &size, &chars, &gb2312, &format, &threshold, &baseline, &xOffset,
                                        &face, &name, &output})
        parser_.addOption(*o);
    if (!parser_.parse(arguments))
        return usage(parser_.errorText());
    if (parser_.isSet(help)) {
        io_.out(QString::fromUtf8(FontBuildUsage));
        return ExitDone;
    }
    // The positional arguments are "font build" themselves.
    if (parser_.positionalArguments().size() != 2)
        return usage(QStringLiteral("font build takes no arguments besides its options: '%1'")
                         .arg(parser_.positionalArguments().mid(2).join(QLatin1Char(' '))));
    if (!parser_.isSet(from))
        return usage(QStringLiteral("font build needs --from FONT"));
    if (!parser_.isSet(size))
        return usage(QStringLiteral("font build needs --size N (12, 16, 24 or 32)"));
    if (!parser_.isSet(output))
        return usage(QStringLiteral("font build needs -o FILE"));
    if (parser_.isSet(chars) && parser_.isSet(gb2312))
        return usage(QStringLiteral("give --chars or --gb2312, not both"));

    FontBuildOptions options;
    if (!number(size, MinPixelSize, MaxPixelSize, &options.pixelSize))
        return usage(QStringLiteral("--size must be %1..%2, not '%3'").arg(MinPixelSize).arg(MaxPixelSize).arg(parser_.value(size)));
    if (parser_.isSet(threshold) && !number(threshold, 1, 255, &options.threshold))
        return usage(QStringLiteral("--threshold must be 1..255, not '%1'").arg(parser_.value(threshold)));
    if (parser_.isSet(baseline) && !number(baseline, -MaxPixelSize, MaxPixelSize, &options.baselineOffset))
        return usage(QStringLiteral("--baseline must be -64..64, not '%1'").arg(parser_.value(baseline)));
    if (parser_.isSet(xOffset) && !number(xOffset, -MaxPixelSize, MaxPixelSize, &options.xOffset))
        return usage(QStringLiteral("--x-offset must be -64..64, not '%1'").arg(parser_.value(xOffset)));
    if (parser_.isSet(face) && !number(face, 0, 1000, &options.faceIndex))
        return usage(QStringLiteral("--face must be 0..1000, not '%1'").arg(parser_.value(face)));

    const QString out = parser_.value(output);
    QString fmt = parser_.value(format);
    if (fmt.isEmpty()) {
        const QString suffix = QFileInfo(out).suffix().toLower();
        fmt = suffix == QStringLiteral("c") || suffix == QStringLiteral("bin") ? suffix : QStringLiteral("hzk");
    }
    if (fmt != QStringLiteral("hzk") && fmt != QStringLiteral("c") && fmt != QStringLiteral("bin"))
        return usage(QStringLiteral("--format must be hzk, c or bin, not '%1'").arg(fmt));
    const QString arrayName = parser_.isSet(name) ? parser_.value(name) : cIdentifier(out);
    if (cIdentifier(arrayName + QStringLiteral(".x")) != arrayName)
        return usage(QStringLiteral("--name must be a C identifier, not '%1'").arg(arrayName));

    // Refused before the (slow) build: a FIFO there would block the write.
    if (const QString problem = outputPathProblem(out); !problem.isEmpty())
        return bad(problem);
    const QString fontPath = parser_.value(from);
    const bool subset = parser_.isSet(chars) && fmt != QStringLiteral("hzk");
    QByteArray result;
    QString summary;
    if (subset) {
        const FontSubset s = buildSubset(fontPath, parser_.value(chars), options);
        if (s.error != FontBuildError::None)
            return bad(fontErrorText(s.error, fontPath, options.pixelSize));
        if (!s.missing.isEmpty())
            io_.err(QStringLiteral("panelix-cli font build: left out (no GBK code or no glyph): %1\n").arg(s.missing));
        result = fmt == QStringLiteral("c") ? subsetCSource(s, arrayName) : subsetBinary(s);
        summary = QStringLiteral("%1 characters, %2 x %2 dots").arg(s.characters.size()).arg(s.cellSize);
    } else {
        const QString text = parser_.value(chars);
        const HzkFont f = buildHzk(fontPath, options, parser_.isSet(chars) ? &text : nullptr);
        if (f.error != FontBuildError::None)
            return bad(fontErrorText(f.error, fontPath, options.pixelSize));
        result = fmt == QStringLiteral("c") ? hzkCSource(f, arrayName) : f.file;
        summary = QStringLiteral("HZK layout, %1 x %1 dots, %2 of %3 characters with a glyph")
                      .arg(f.cellSize)
                      .arg(f.covered)
                      .arg(f.assigned);
    }
    QString error;
    if (!writeFileAtomically(out, result, &error))
        return bad(QStringLiteral("cannot write %1: %2").arg(out, error));
    io_.out(QStringLiteral("wrote %1 (%2 bytes): %3\n").arg(out).arg(result.size()).arg(summary));
    return ExitDone;
}

} // namespace

int runFontBuildCommand(const QStringList& arguments, const Io& io) {
    FontBuildCommand command(io);
    return command.run(arguments);
}

} // namespace panelix::cli
