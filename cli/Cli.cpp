#include "cli/Cli.h"

#include "cli/Command.h"
#include "cli/FirmwareCommands.h"

namespace panelix::cli {

const char* const CommandsHelp =
    "Commands:\n"
    "  test --port DEV                      connection test: status 0 when the module answers 0x0C\n"
    "  download --port DEV (--image FILE.add | --list FILE.txt | PICTURE...) [--show N]\n"
    "           [--play [--loops N]]\n"
    "                                       send pictures to the module; pictures that are not\n"
    "                                       1-bit BMPs are converted first (--size, --fit, --dither,\n"
    "                                       --threshold, --invert, --brightness, --contrast, --gamma),\n"
    "                                       an animated GIF to a picture a frame (at most 127);\n"
    "                                       --show N then shows stored picture N (0 = the first);\n"
    "                                       --play shows the pictures in turn, a GIF's frames with\n"
    "                                       its delays (under 20 ms: 100 ms) and loop count, other\n"
    "                                       pictures for 1 s\n"
    "  play --port DEV --count K [--first N] [--delays MS[,MS...]] [--loops N] [X Y]\n"
    "                                       show stored pictures N..N+K-1 in turn at X Y, each for\n"
    "                                       its delay (one for all or one a frame; default 100 ms),\n"
    "                                       --loops times (default 1; 0: until Ctrl+C, at most\n"
    "                                       1000); --invert for the inverted variant\n"
    "  font --port DEV [FILE]               send the 16 x 16 font (default: hzk16 of --data-dir,\n"
    "                                       or of ~/dispkit)\n"
    "  send --port DEV HEX...               send raw bytes, e.g. send --port DEV 1D 03 0D\n"
    "  show --port DEV N [X Y]              show stored picture N (0 = first) at byte column X, row Y\n"
    "  clear --port DEV                     clear the screen\n"
    "  backlight --port DEV on|off          switch the backlight\n"
    "  text --port DEV X Y TEXT             show TEXT (GBK) at byte column X, dot row Y; --large\n"
    "                                       for 32 x 32 characters\n"
    "                                       show, clear, backlight and text take --invert\n"
    "  pack (--list FILE.txt | PICTURE...) -o FILE.add\n"
    "                                       build the download image without sending it\n"
    "  convert PICTURE... -o DIR|FILE.bmp   convert pictures to 1-bit BMP files (an animated GIF\n"
    "                                       to one a frame: NAME.bmp, NAME-2.bmp, ...)\n"
    "  inspect FILE.add|FILE.bmp [-o OUT.png]\n"
    "                                       list a download image's directory, render its pictures\n"
    "  ports                                list the serial devices found\n"
    "  watch [--image FILE | PICTURE...] [--font FILE] [--test] [--show N] [--match PATTERN]\n"
    "        [--usb VID:PID] [--log FILE] [--json] [--count N]\n"
    "                                       factory mode: program each module as soon as its\n"
    "                                       adapter is plugged in, in parallel, a line per result\n"
    "                                       (done, lost, error); --log appends CSV records (time,\n"
    "                                       port, serial, bytes, seconds, outcome), JSON lines with\n"
    "                                       --json; a pulled adapter is programmed again when back;\n"
    "                                       runs until Ctrl+C (130) or --count modules\n"
    "\n"
    "--port may be repeated: the operation runs on every port at once.\n"
    "Numbers (N, X, Y) are decimal, or hexadecimal with 0x.\n"
    "Without --data-dir, download and pack work in a temporary directory that is removed at the\n"
    "end, so the window's list (~/dispkit/file.txt) is never touched.\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  the module answered 0x55 (error)\n"
    "  2  usage error\n"
    "  3  the port cannot be opened (missing, busy, permission, not a serial port)\n"
    "  4  the port was lost during the transfer\n"
    "  5  no answer in time (header, connection test) or a stalled transfer\n"
    "  6  bad input (picture, list, font, image over the limit)\n"
    "  130 interrupted (Ctrl+C): transfers stopped, the incomplete ones are named\n"
    "With several ports the largest status of all ports is returned.\n";

namespace {

using Handler = int (Command::*)();

struct Entry {
    const char* name;
    Handler handler;
    bool decodesPictures; // needs Qt Gui (fonts for SVG text)
};

// Every command: a new one is a member of Command in a file of its own and a line here.
constexpr Entry commandTable[] = {
    {"test", &Command::cmdTest, false},
    {"download", &Command::cmdDownload, true},
    {"font", &Command::cmdFont, false},
    {"send", &Command::cmdSend, false},
    {"show", &Command::cmdShow, false},
    {"clear", &Command::cmdClear, false},
    {"backlight", &Command::cmdBacklight, false},
    {"text", &Command::cmdText, false},
    {"pack", &Command::cmdPack, true},
    {"convert", &Command::cmdConvert, true},
    {"inspect", &Command::cmdInspect, false},
    {"ports", &Command::cmdPorts, false},
    {"watch", &Command::cmdWatch, true},
    {"play", &Command::cmdPlay, false},
};

const Entry* findCommand(const QString& name) {
    for (const Entry& e : commandTable) {
        if (name == QLatin1String(e.name))
            return &e;
    }
    return nullptr;
}

} // namespace

int Command::dispatch(const QString& name) {
    const Entry* e = findCommand(name);
    if (!e)
        return usage(QStringLiteral("unknown command '%1'").arg(name));
    return (this->*(e->handler))();
}

int run(const QStringList& arguments, const Io& io) {
    if (arguments.size() == 2 && arguments[1] == QStringLiteral("--version")) {
        io.out(QStringLiteral("panelix-cli " PANELIX_VERSION "\n"));
        return ExitDone;
    }
    clearInterrupt();
    if (const std::optional<int> status = runFirmwareCommand(arguments, io))
        return *status;
    Command command(io);
    return command.run(arguments);
}

QStringList commandWords(const QStringList& arguments) {
    // Every option of any command that takes a value: its value is no word. The value of
    // --name=value and -name=value is part of the argument itself.
    static const QStringList withValue{
        // the port and picture commands
        QStringLiteral("port"), QStringLiteral("data-dir"), QStringLiteral("image"), QStringLiteral("list"),
        QStringLiteral("o"), QStringLiteral("output"), QStringLiteral("size"), QStringLiteral("fit"),
        QStringLiteral("dither"), QStringLiteral("threshold"), QStringLiteral("brightness"),
        QStringLiteral("contrast"), QStringLiteral("gamma"), QStringLiteral("timeout"), QStringLiteral("show"),
        QStringLiteral("font"), QStringLiteral("match"), QStringLiteral("usb"), QStringLiteral("log"),
        QStringLiteral("count"), QStringLiteral("first"), QStringLiteral("delays"), QStringLiteral("loops"),
        // export and font build
        QStringLiteral("scan"), QStringLiteral("word"), QStringLiteral("format"), QStringLiteral("name"),
        QStringLiteral("read"), QStringLiteral("width"), QStringLiteral("height"), QStringLiteral("from"),
        QStringLiteral("chars"), QStringLiteral("baseline"), QStringLiteral("x-offset"), QStringLiteral("face")};
    QStringList words;
    const QStringList rest = arguments.mid(1);
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QString& a = rest[i];
        if (a == QStringLiteral("--")) {
            words += rest.mid(i + 1);
            break;
        }
        if (!a.startsWith(QLatin1Char('-')) || a == QStringLiteral("-")) {
            words << a;
            continue;
        }
        QString name = a.mid(a.startsWith(QStringLiteral("--")) ? 2 : 1);
        if (!name.contains(QLatin1Char('=')) && withValue.contains(name))
            ++i;
    }
    return words;
}

bool needsGui(const QStringList& arguments) {
    const QString command = commandWords(arguments).value(0);
    const Entry* e = findCommand(command);
    return (e && e->decodesPictures) || command == QStringLiteral("export");
}

} // namespace panelix::cli
