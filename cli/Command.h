#pragma once

// Private to the command line tool: one command line being run. Cli.cpp parses the
// line and dispatches by the command's name to its member here; each command (or
// family of commands) lives in a file of its own.

#include "cli/Cli.h"
#include "cli/PortRun.h"
#include "common/InputError.h"
#include "import/PictureImport.h"

#include <QCommandLineOption>
#include <QImage>
#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace panelix::cli {

// The text of --help after the options.
extern const char* const CommandsHelp;

// The picture options that convert, pack, download and export share.
struct PictureOptions {
    QCommandLineOption size{QStringLiteral("size"), QStringLiteral("Picture size, at most 640x481 (default 320x240)."),
                            QStringLiteral("WxH")};
    QCommandLineOption fit{QStringLiteral("fit"), QStringLiteral("fit (default), fill, stretch or original."),
                           QStringLiteral("MODE")};
    QCommandLineOption dither{QStringLiteral("dither"),
                              QStringLiteral("floyd-steinberg (default), atkinson, bayer4, bayer8 or threshold."),
                              QStringLiteral("METHOD")};
    QCommandLineOption threshold{QStringLiteral("threshold"),
                                 QStringLiteral("0..255: a grey below it is dark (default: Otsu's method)."),
                                 QStringLiteral("N")};
    QCommandLineOption brightness{QStringLiteral("brightness"), QStringLiteral("-100..100 (default 0)."), QStringLiteral("N")};
    QCommandLineOption contrast{QStringLiteral("contrast"), QStringLiteral("-100..100 (default 0)."), QStringLiteral("N")};
    QCommandLineOption gamma{QStringLiteral("gamma"), QStringLiteral("0.2..5 (default 1)."), QStringLiteral("G")};
    std::vector<const QCommandLineOption*> all() const {
        return {&size, &fit, &dither, &threshold, &brightness, &contrast, &gamma};
    }
};

// Reads the picture options given on parser into out: an empty text, or the usage message
// of the first one that is wrong.
QString readPictureOptions(const QCommandLineParser& parser, const PictureOptions& options, ImportOptions* out);

// A decimal or 0x-hexadecimal whole number within min..max.
bool parseNumber(const QString& text, int min, int max, int* out);

struct Options {
    QCommandLineOption port{QStringLiteral("port"), QStringLiteral("Serial device (repeatable)."), QStringLiteral("DEV")};
    QCommandLineOption dataDir{QStringLiteral("data-dir"),
                               QStringLiteral("Where file.txt, file.add and converted pictures go, and hzk16 is found."),
                               QStringLiteral("DIR")};
    QCommandLineOption image{QStringLiteral("image"), QStringLiteral("A download image (file.add) to send."),
                             QStringLiteral("FILE")};
    QCommandLineOption list{QStringLiteral("list"), QStringLiteral("A list file (file.txt) of BMPs."),
                            QStringLiteral("FILE")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")}, QStringLiteral("Output file or directory."),
                              QStringLiteral("PATH")};
    PictureOptions picture; // --size, --fit, --dither, --threshold, --brightness, --contrast, --gamma
    QCommandLineOption invert{QStringLiteral("invert"),
                              QStringLiteral("Pictures: exchange dark and light. Commands: the inverted variant.")};
    QCommandLineOption large{QStringLiteral("large"), QStringLiteral("text: 32 x 32 characters.")};
    QCommandLineOption timeout{QStringLiteral("timeout"),
                               QStringLiteral("Seconds to wait for the module's first answer (default 5; test: 2)."),
                               QStringLiteral("SEC")};
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("One JSON object per line on stdout.")};
    QCommandLineOption show{QStringLiteral("show"),
                            QStringLiteral("download: show stored picture N (0 = first) when the download is done."),
                            QStringLiteral("N")};
    // watch
    QCommandLineOption test{QStringLiteral("test"), QStringLiteral("watch: a connection test first (alone when nothing is sent).")};
    QCommandLineOption font{QStringLiteral("font"), QStringLiteral("watch: the font file to send."), QStringLiteral("FILE")};
    QCommandLineOption match{QStringLiteral("match"),
                             QStringLiteral("watch: only adapters whose name (stable name or path) matches the wildcard."),
                             QStringLiteral("PATTERN")};
    QCommandLineOption usb{QStringLiteral("usb"), QStringLiteral("watch: only adapters with these USB ids (hexadecimal)."),
                           QStringLiteral("VID:PID")};
    QCommandLineOption log{QStringLiteral("log"), QStringLiteral("watch: append a record per module (CSV, or JSON lines with --json)."),
                           QStringLiteral("FILE")};
    QCommandLineOption count{QStringLiteral("count"), QStringLiteral("watch: stop after N modules. play: the number of frames."),
                             QStringLiteral("N")};
    // play, download --play
    QCommandLineOption play{QStringLiteral("play"),
                            QStringLiteral("download: then show the pictures in turn (an animated GIF's frames with its delays).")};
    QCommandLineOption first{QStringLiteral("first"), QStringLiteral("play: the stored picture of the first frame (default 0)."),
                             QStringLiteral("N")};
    QCommandLineOption delays{QStringLiteral("delays"),
                              QStringLiteral("play: how long each frame stays, in ms: one for all or one a frame (default 100)."),
                              QStringLiteral("MS[,MS...]")};
    QCommandLineOption loops{QStringLiteral("loops"),
                             QStringLiteral("play, download --play: passes through the frames; 0 until Ctrl+C (at most 1000)."),
                             QStringLiteral("N")};
};

// One command line being run.

class Command {
public:
    explicit Command(const Io& io) : io_(io) {}
    int run(const QStringList& arguments);

    // The commands, by name; each returns the exit status.
    int cmdTest();
    int cmdDownload();
    int cmdFont();
    int cmdSend();
    int cmdShow();
    int cmdClear();
    int cmdBacklight();
    int cmdText();
    int cmdPack();
    int cmdConvert();
    int cmdInspect();
    int cmdPorts();
    int cmdWatch();
    int cmdPlay();

private:
    int usage(const QString& message);
    // A refusal of bad input: said on stderr (and as a JSON error event); ExitBadInput.
    int bad(const QString& message);
    int bad(const InputError& error);
    bool json() const { return parser_.isSet(opt_.json); }
    void jsonLine(const QJsonObject& o) {
        io_.out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
    }

    int dispatch(const QString& name);
    QString helpText() const;
    std::optional<int> importOptions(ImportOptions* out);
    // Where download and pack write: --data-dir, or a temporary directory of this run.
    QString workDir();
    // This run's own temporary directory (removed at its end); empty when none can be made.
    QString scratchDir();
    // The BMP list for PICTURE... (converted where needed) or --list; false with *status set.
    // An animated GIF gives a BMP a frame; entryDelays_ then holds each entry's delay (ms, as
    // played; -1 for a still picture) and loopCount_ the last animation's loop count.
    bool collectEntries(const QStringList& pictures, QStringList* entries, bool* fromList, int* status);
    // --loops, when given: passes (0 until stopped); nullopt when not given; *status on a usage error.
    bool loopsOption(std::optional<int>* passes, int* status);
    int portCommand(PortPlan plan);
    // A single command on every port, through the session's operation.
    int singleCommand(std::function<Refusal(ModuleSession&)> command);
    // Inspect's parts: a 1-bit BMP, a download image, the pictures drawn one under another.
    int inspectBitmap(const QString& path, std::vector<QImage>* pictures);
    int inspectImage(const QString& path, std::vector<QImage>* pictures);
    int writeSheet(const QString& path, const std::vector<QImage>& pictures);

    const Io& io_;
    QCommandLineParser parser_;
    Options opt_;
    QStringList args_; // positional arguments after the command
    std::unique_ptr<QTemporaryDir> tempDir_;
    std::vector<int> entryDelays_;
    int animations_ = 0;
    int loopCount_ = 0;
};

} // namespace panelix::cli
