// panelix-cli export: pictures as C arrays, headers, binary or hex for firmware, and back.
#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"
#include "cli/Command.h"
#include "cli/FirmwareCommands.h"
#include "cli/Paths.h"
#include "cli/PortRun.h"
#include "cli/Texts.h"
#include "import/MonoImage.h"
#include "common/DataDir.h"
#include "export/CText.h"
#include "export/ExportFormat.h"
#include "import/Animation.h"
#include "import/PictureImport.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSet>

#include <algorithm>
#include <array>

namespace panelix::cli {

const char* const FirmwareCommandsHelp =
    "  export PICTURE... [--scan rows|rows-cm|columns|pages] [--lsb-first|--msb-first]\n"
    "         [--invert] [--word 8|16] [--little-endian] [--packed] [--format c|h|bin|hex]\n"
    "         [--name NAME] [-o FILE]\n"
    "                                       pictures as bytes for firmware (default: rows,\n"
    "                                       bit 7 leftmost, dark = 1; --invert: dark = 0); other\n"
    "                                       pictures than 1-bit BMPs are converted first, at\n"
    "                                       their own size unless --size or --fit is given;\n"
    "                                       an animated GIF gives an array a frame\n"
    "  export --read FILE [--width W --height H] [same options] -o OUT.bmp|OUT.png\n"
    "                                       the reverse, from a C array or binary\n"
    "  font build --from FONT --size 12|16|24|32 [--chars TEXT | --gb2312]\n"
    "         [--format hzk|c|bin] [--threshold N] [--baseline N] [--x-offset N] [--face N]\n"
    "         [--name NAME] -o FILE\n"
    "                                       render a font (TTF, OTF, TTC, BDF, PCF) into the\n"
    "                                       HZK layout (at 16: the module's hzk16), or the\n"
    "                                       characters of TEXT with an index (c, bin)\n";

namespace {

const char* const ExportUsage =
    "Usage: panelix-cli export PICTURE... [options] [-o FILE]\n"
    "       panelix-cli export --read FILE [--width W --height H] [options] -o OUT.bmp|OUT.png\n"
    "\n"
    "Layout options (the same for --read):\n"
    "  --scan MODE       rows (default): horizontal bytes, row by row; rows-cm: horizontal\n"
    "                    bytes, 8-dot column by column; columns: vertical bytes, column by\n"
    "                    column; pages: vertical bytes, 8-row page by page (OLED controllers)\n"
    "  --lsb-first       first dot in bit 0 (default for columns and pages)\n"
    "  --msb-first       first dot in bit 7 (default for rows and rows-cm)\n"
    "  --invert          dark = 0 (default: dark = 1)\n"
    "  --word 8|16       bits a word (default 8); 16-bit pages are 16 rows high\n"
    "  --little-endian   16-bit words low byte first (default: high byte first)\n"
    "  --packed          no padding at the end of each line: the dots run on\n"
    "Output:\n"
    "  --format FMT      c (C source, default), h (C header), bin, hex; taken from -o's\n"
    "                    extension (.c .h .bin .hex) when not given\n"
    "  --name NAME       the array's name for one picture (default: from the file name)\n"
    "  -o FILE           where to write (default: standard output; bin needs -o)\n"
    "Pictures: --size WxH, --fit, --dither, --threshold, --brightness, --contrast, --gamma as\n"
    "for convert. 1-bit BMPs are taken as they are.\n"
    "Reading: FILE is C text (the first { ... }) or binary (--format bin or a .bin file).\n"
    "Width, height and, without layout options, the layout come from the comment export\n"
    "writes; else give --width, --height and the options the bytes were written with.\n";

struct ExportOptionsCli {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    QCommandLineOption scan{QStringLiteral("scan"), QString(), QStringLiteral("MODE")};
    QCommandLineOption lsbFirst{QStringLiteral("lsb-first"), QString()};
    QCommandLineOption msbFirst{QStringLiteral("msb-first"), QString()};
    QCommandLineOption invert{QStringLiteral("invert"), QString()};
    QCommandLineOption word{QStringLiteral("word"), QString(), QStringLiteral("BITS")};
    QCommandLineOption littleEndian{QStringLiteral("little-endian"), QString()};
    QCommandLineOption packed{QStringLiteral("packed"), QString()};
    QCommandLineOption format{QStringLiteral("format"), QString(), QStringLiteral("FMT")};
    QCommandLineOption name{QStringLiteral("name"), QString(), QStringLiteral("NAME")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("FILE")};
    QCommandLineOption read{QStringLiteral("read"), QString(), QStringLiteral("FILE")};
    QCommandLineOption width{QStringLiteral("width"), QString(), QStringLiteral("W")};
    QCommandLineOption height{QStringLiteral("height"), QString(), QStringLiteral("H")};
    PictureOptions picture;
};

enum class Format { C, Header, Binary, Hex };

QString exportErrorText(ExportError e, qsizetype expected, qsizetype got) {
    switch (e) {
    case ExportError::None: return QString();
    case ExportError::BadSize: return QStringLiteral("width and height must be 1..%1").arg(MaxExportSide);
    case ExportError::BadOptions: return QStringLiteral("the word size must be 8 or 16");
    case ExportError::SizeMismatch:
        return QStringLiteral("%1 bytes where these options and size make %2").arg(got).arg(expected);
    case ExportError::MissingOpenBrace: return QStringLiteral("no '{' in the C text");
    case ExportError::MissingCloseBrace: return QStringLiteral("no '}' after the '{'");
    case ExportError::BadNumber: return QStringLiteral("something that is not a C number between the braces");
    case ExportError::NumberTooLarge: return QStringLiteral("a number above 255 between the braces");
    case ExportError::NoData: return QStringLiteral("no numbers between the braces");
    }
    return QString();
}

class ExportCommand : FirmwareCommand {
public:
    explicit ExportCommand(const Io& io) : FirmwareCommand(io, "export") {}
    int run(const QStringList& arguments);

private:
    std::optional<int> layout(ExportOptions* out);
    std::optional<int> importOptions(ImportOptions* out);
    std::optional<int> format(Format* out, bool reading);
    // The picture's bitmaps: one, or one a frame of an animated GIF.
    bool picture(const QString& path, const ImportOptions& options, std::vector<MonoBitmap>* out, int* status);
    int exportPictures(const QStringList& pictures);
    int readBack();

    ExportOptionsCli opt_;
    const std::array<const QCommandLineOption*, 7> layoutFlags_{
        &opt_.scan, &opt_.lsbFirst, &opt_.msbFirst, &opt_.invert, &opt_.word, &opt_.littleEndian, &opt_.packed};
};

std::optional<int> ExportCommand::layout(ExportOptions* o) {
    ScanMode scan = ScanMode::Rows;
    if (parser_.isSet(opt_.scan)) {
        const QString s = parser_.value(opt_.scan);
        if (s == QStringLiteral("rows"))
            scan = ScanMode::Rows;
        else if (s == QStringLiteral("rows-cm"))
            scan = ScanMode::RowsColumnMajor;
        else if (s == QStringLiteral("columns"))
            scan = ScanMode::Columns;
        else if (s == QStringLiteral("pages"))
            scan = ScanMode::Pages;
        else
            return usage(QStringLiteral("--scan must be rows, rows-cm, columns or pages, not '%1'").arg(s));
    }
    *o = defaultOptionsFor(scan);
    if (parser_.isSet(opt_.lsbFirst) && parser_.isSet(opt_.msbFirst))
        return usage(QStringLiteral("give --lsb-first or --msb-first, not both"));
    if (parser_.isSet(opt_.lsbFirst))
        o->bitOrder = BitOrder::LsbFirst;
    if (parser_.isSet(opt_.msbFirst))
        o->bitOrder = BitOrder::MsbFirst;
    if (parser_.isSet(opt_.invert))
        o->polarity = Polarity::DarkIsZero;
    if (parser_.isSet(opt_.word)) {
        const QString w = parser_.value(opt_.word);
        if (w != QStringLiteral("8") && w != QStringLiteral("16"))
            return usage(QStringLiteral("--word must be 8 or 16, not '%1'").arg(w));
        o->wordBits = w.toInt();
    }
    if (parser_.isSet(opt_.littleEndian)) {
        if (o->wordBits != 16)
            return usage(QStringLiteral("--little-endian needs --word 16"));
        o->byteOrder = ByteOrder::LittleEndian;
    }
    o->padLines = !parser_.isSet(opt_.packed);
    return std::nullopt;
}

std::optional<int> ExportCommand::importOptions(ImportOptions* o) {
    // A picture keeps its own size unless a size or a fit is asked for: firmware pictures
    // are icons and logos as often as full screens.
    if (!parser_.isSet(opt_.picture.size) && !parser_.isSet(opt_.picture.fit))
        o->fit = FitMode::Original;
    if (const QString wrong = readPictureOptions(parser_, opt_.picture, o); !wrong.isEmpty())
        return usage(wrong);
    return std::nullopt;
}

std::optional<int> ExportCommand::format(Format* out, bool reading) {
    QString f = parser_.value(opt_.format);
    if (f.isEmpty()) {
        const QString file = reading ? parser_.value(opt_.read) : parser_.value(opt_.output);
        const QString suffix = QFileInfo(file).suffix().toLower();
        f = suffix == QStringLiteral("h") ? QStringLiteral("h")
            : suffix == QStringLiteral("bin") ? QStringLiteral("bin")
            : suffix == QStringLiteral("hex") && !reading ? QStringLiteral("hex")
                                                            : QStringLiteral("c");
    }
    if (f == QStringLiteral("c"))
        *out = Format::C;
    else if (f == QStringLiteral("h"))
        *out = Format::Header;
    else if (f == QStringLiteral("bin"))
        *out = Format::Binary;
    else if (f == QStringLiteral("hex") && !reading)
        *out = Format::Hex;
    else
        return usage(reading ? QStringLiteral("--format with --read must be c or bin, not '%1'").arg(f)
                             : QStringLiteral("--format must be c, h, bin or hex, not '%1'").arg(f));
    return std::nullopt;
}

bool ExportCommand::picture(const QString& given, const ImportOptions& options, std::vector<MonoBitmap>* out,
                            int* status) {
    if (const QString problem = inputPathProblem(given, QStringLiteral("picture")); !problem.isEmpty()) {
        *status = bad(problem);
        return false;
    }
    // Export makes no temporary directory: a name that is not UTF-8 is refused here.
    const QString path = openablePath(given, QString());
    if (path.isEmpty()) {
        *status = bad(QStringLiteral("cannot open (name not UTF-8): %1").arg(shownPath(given)));
        return false;
    }
    if (isMonoBmp(path)) {
        BmpReader reader;
        if (!reader.readBmp(path)) {
            *status = bad(inputErrorText(reader.error()));
            return false;
        }
        out->push_back(reader.bitmap());
        return true;
    }
    // An animated GIF: an array a frame.
    Animation animation;
    InputError error;
    if (!importAnimation(path, options, &animation, &error)) {
        *status = bad(inputErrorText(error));
        return false;
    }
    if (animation.framesLeftOut > 0)
        io_.err(QStringLiteral("panelix-cli export: %1\n")
                    .arg(framesLeftOutText(shownPath(given), int(animation.frames.size()), animation.framesLeftOut)));
    *out = std::move(animation.frames);
    return true;
}

int ExportCommand::exportPictures(const QStringList& pictures) {
    if (pictures.isEmpty())
        return usage(QStringLiteral("export needs PICTURE... (or --read FILE)"));
    for (const QCommandLineOption* o : {&opt_.width, &opt_.height})
        if (parser_.isSet(*o))
            return usage(QStringLiteral("--%1 is for --read; use --size to scale pictures").arg(o->names().first()));
    ExportOptions layoutOptions;
    if (auto s = layout(&layoutOptions))
        return *s;
    ImportOptions importOpts;
    if (auto s = importOptions(&importOpts))
        return *s;
    Format fmt = Format::C;
    if (auto s = format(&fmt, false))
        return *s;
    const bool toFile = parser_.isSet(opt_.output);
    if (fmt == Format::Binary && !toFile)
        return usage(QStringLiteral("--format bin needs -o FILE"));
    if (parser_.isSet(opt_.name) && pictures.size() != 1)
        return usage(QStringLiteral("--name takes one picture"));
    if (parser_.isSet(opt_.name) && cIdentifier(parser_.value(opt_.name) + QStringLiteral(".x")) != parser_.value(opt_.name))
        return usage(QStringLiteral("--name must be a C identifier, not '%1'").arg(parser_.value(opt_.name)));

    QByteArray result;
    QSet<QString> names;
    for (const QString& path : pictures) {
        if (interruptRequested())
            return ExitInterrupted;
        std::vector<MonoBitmap> bitmaps;
        int status = ExitDone;
        if (!picture(path, importOpts, &bitmaps, &status))
            return status;
        for (const MonoBitmap& bitmap : bitmaps) {
            ExportedImage image;
            const QString base = parser_.isSet(opt_.name) ? parser_.value(opt_.name) : cIdentifier(path);
            image.name = base;
            for (int n = 2; names.contains(image.name); ++n)
                image.name = base + QStringLiteral("_%1").arg(n);
            names.insert(image.name);
            image.width = bitmap.width();
            image.height = bitmap.height();
            image.options = layoutOptions;
            image.bytes = exportBitmap(bitmap, layoutOptions);
            switch (fmt) {
            case Format::C: {
                QByteArray source = toCSource(image);
                if (!result.isEmpty()) // one #include <stdint.h> for the whole file
                    source.replace("#include <stdint.h>\n\n", "");
                result += (result.isEmpty() ? QByteArray() : QByteArray("\n")) + source;
                break;
            }
            case Format::Header: result += (result.isEmpty() ? QByteArray() : QByteArray("\n")) + toCHeader(image); break;
            case Format::Binary: result += image.bytes; break;
            case Format::Hex:
                result += (QStringLiteral("# %1: width=%2 height=%3 %4 size=%5\n")
                               .arg(image.name)
                               .arg(image.width)
                               .arg(image.height)
                               .arg(describeOptions(image.options))
                               .arg(image.bytes.size()))
                              .toUtf8() +
                          toHexDump(image.bytes);
                break;
            }
            if (toFile)
                io_.out(QStringLiteral("%1: %2 x %3 dots, %4 bytes as %5\n")
                            .arg(path)
                            .arg(image.width)
                            .arg(image.height)
                            .arg(image.bytes.size())
                            .arg(image.name));
        }
    }
    if (!toFile) {
        io_.out(QString::fromUtf8(result));
        return ExitDone;
    }
    const QString out = parser_.value(opt_.output);
    if (const QString problem = outputPathProblem(out); !problem.isEmpty())
        return bad(problem);
    QString error;
    if (!writeFileAtomically(out, result, &error))
        return bad(QStringLiteral("cannot write %1: %2").arg(out, error));
    io_.out(QStringLiteral("wrote %1 (%2 bytes)\n").arg(out).arg(result.size()));
    return ExitDone;
}

int ExportCommand::readBack() {
    if (!parser_.positionalArguments().mid(1).isEmpty())
        return usage(QStringLiteral("--read takes no pictures"));
    if (!parser_.isSet(opt_.output))
        return usage(QStringLiteral("--read needs -o OUT.bmp or -o OUT.png"));
    ExportOptions layoutOptions;
    if (auto s = layout(&layoutOptions))
        return *s;
    Format fmt = Format::C;
    if (auto s = format(&fmt, true))
        return *s;
    if (fmt == Format::Header)
        return usage(QStringLiteral("a header holds no bytes: read the C source"));
    const QString out = parser_.value(opt_.output);
    const QString outSuffix = QFileInfo(out).suffix().toLower();
    if (outSuffix != QStringLiteral("bmp") && outSuffix != QStringLiteral("png"))
        return usage(QStringLiteral("-o must name a .bmp or .png file, not '%1'").arg(out));
    int width = 0, height = 0;
    if (parser_.isSet(opt_.width) && !number(opt_.width, 1, MaxExportSide, &width))
        return usage(QStringLiteral("--width must be 1..%1").arg(MaxExportSide));
    if (parser_.isSet(opt_.height) && !number(opt_.height, 1, MaxExportSide, &height))
        return usage(QStringLiteral("--height must be 1..%1").arg(MaxExportSide));

    if (const QString problem = outputPathProblem(out); !problem.isEmpty())
        return bad(problem);
    const QString path = parser_.value(opt_.read);
    if (const QString problem = inputPathProblem(path, QStringLiteral("file")); !problem.isEmpty())
        return bad(problem);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return bad(QStringLiteral("cannot open: %1").arg(path));
    // Far more than any picture of MaxExportSide x MaxExportSide dots written as C text.
    constexpr qint64 MaxInput = 256 * 1024 * 1024;
    if (file.size() > MaxInput)
        return bad(QStringLiteral("too large to be an exported picture: %1").arg(path));
    const QByteArray data = file.readAll();
    QByteArray bytes;
    if (fmt == Format::C) {
        const ParsedCArray parsed = parseCArray(data);
        if (parsed.error != ExportError::None) {
            const QString where = parsed.line > 0 ? QStringLiteral("%1:%2").arg(path).arg(parsed.line) : path;
            return bad(QStringLiteral("%1: %2").arg(where, exportErrorText(parsed.error, 0, 0)));
        }
        bytes = parsed.bytes;
        // Without layout options of its own, the layout the C text names.
        const bool layoutGiven = std::any_of(layoutFlags_.begin(), layoutFlags_.end(),
                                             [&](const QCommandLineOption* o) { return parser_.isSet(*o); });
        if (!layoutGiven && parsed.hasOptions)
            layoutOptions = parsed.options;
        if (width == 0)
            width = parsed.width;
        if (height == 0)
            height = parsed.height;
    } else {
        bytes = data;
    }
    if (width == 0 || height == 0)
        return usage(QStringLiteral("the size is not in %1: give --width and --height").arg(path));
    const ImportedBitmap back = bitmapFromBytes(bytes, width, height, layoutOptions);
    if (back.error != ExportError::None)
        return bad(QStringLiteral("%1: %2").arg(path, exportErrorText(back.error, back.expectedSize, bytes.size())));

    QString error;
    if (outSuffix == QStringLiteral("bmp")) {
        if (!writeBmpFile(out, back.bitmap, &error))
            return bad(QStringLiteral("cannot write %1: %2").arg(out, error));
    } else {
        if (!monoImage(back.bitmap).save(out, "PNG"))
            return bad(QStringLiteral("cannot write %1").arg(out));
    }
    io_.out(QStringLiteral("%1: %2 x %3 dots -> %4\n").arg(path).arg(width).arg(height).arg(out));
    return ExitDone;
}

int ExportCommand::run(const QStringList& arguments) {
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QCommandLineOption* o :
         {&opt_.help, &opt_.scan, &opt_.lsbFirst, &opt_.msbFirst, &opt_.invert, &opt_.word, &opt_.littleEndian,
          &opt_.packed, &opt_.format, &opt_.name, &opt_.output, &opt_.read, &opt_.width, &opt_.height})
        parser_.addOption(*o);
    for (const QCommandLineOption* o : opt_.picture.all())
        parser_.addOption(*o);
    if (!parser_.parse(arguments))
        return usage(parser_.errorText());
    if (parser_.isSet(opt_.help)) {
        io_.out(QString::fromUtf8(ExportUsage));
        return ExitDone;
    }
    // positionalArguments() starts with "export" itself.
    if (parser_.isSet(opt_.read))
        return readBack();
    return exportPictures(parser_.positionalArguments().mid(1));
}

} // namespace

int runExportCommand(const QStringList& arguments, const Io& io) {
    ExportCommand command(io);
    return command.run(arguments);
}

int FirmwareCommand::usage(const QString& message) const {
    io_.err(QStringLiteral("panelix-cli %1: %2\nTry 'panelix-cli %1 --help'.\n").arg(name_, message));
    return ExitUsage;
}

int FirmwareCommand::bad(const QString& message) const {
    io_.err(QStringLiteral("panelix-cli %1: %2\n").arg(name_, message));
    return ExitBadInput;
}

bool FirmwareCommand::number(const QCommandLineOption& option, int min, int max, int* out) const {
    return parseNumber(parser_.value(option), min, max, out);
}

std::optional<int> runFirmwareCommand(const QStringList& arguments, const Io& io) {
    // The command is the first word: options (and their values) may come before it.
    const QStringList words = commandWords(arguments);
    if (words.value(0) == QStringLiteral("export"))
        return runExportCommand(arguments, io);
    if (words.value(0) == QStringLiteral("font") && words.value(1) == QStringLiteral("build")) {
#ifdef PANELIX_WITH_FONTBUILD
        return runFontBuildCommand(arguments, io);
#else
        io.err(QStringLiteral("panelix-cli: font build is not part of this build (it needs FreeType)\n"));
        return ExitUsage;
#endif
    }
    return std::nullopt;
}

} // namespace panelix::cli
