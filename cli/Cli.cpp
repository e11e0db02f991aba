#include "cli/Cli.h"

#include "link/PortList.h"

#include "bitmap/BitmapDownload.h"
#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"
#include "bitmap/DownloadImageBuilder.h"
#include "cli/PortRun.h"
#include "cli/Texts.h"
#include "common/DataDir.h"
#include "console/CommandConsole.h"
#include "import/PictureImport.h"
#include "library/BitmapList.h"
#include "library/ListFile.h"
#include "protocol/Module.h"
#include "session/ModuleSession.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

namespace panelix::cli {

namespace {

const char* const Commands =
    "Commands:\n"
    "  test --port DEV                      connection test: status 0 when the module answers 0x0C\n"
    "  download --port DEV (--image FILE.add | --list FILE.txt | PICTURE...)\n"
    "                                       send pictures to the module; pictures that are not\n"
    "                                       1-bit BMPs are converted first (--size, --fit, --dither,\n"
    "                                       --threshold, --invert, --brightness, --contrast, --gamma)\n"
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
    "  convert PICTURE... -o DIR|FILE.bmp   convert pictures to 1-bit BMP files\n"
    "  inspect FILE.add|FILE.bmp [-o OUT.png]\n"
    "                                       list a download image's directory, render its pictures\n"
    "  ports                                list the serial devices found\n"
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
    QCommandLineOption invert{QStringLiteral("invert"),
                              QStringLiteral("Pictures: exchange dark and light. Commands: the inverted variant.")};
    QCommandLineOption large{QStringLiteral("large"), QStringLiteral("text: 32 x 32 characters.")};
    QCommandLineOption timeout{QStringLiteral("timeout"),
                               QStringLiteral("Seconds to wait for the module's first answer (default 5; test: 2)."),
                               QStringLiteral("SEC")};
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("One JSON object per line on stdout.")};
};

// One command line being run.
class Command {
public:
    Command(const Io& io) : io_(io) {}
    int run(const QStringList& arguments);

private:
    int usage(const QString& message) {
        io_.err(QStringLiteral("panelix-cli: %1\nTry 'panelix-cli --help'.\n").arg(message));
        return ExitUsage;
    }
    int bad(const QString& message) {
        if (json())
            jsonLine({{"event", "error"}, {"status", ExitBadInput}, {"message", message}});
        io_.err(QStringLiteral("panelix-cli: %1\n").arg(message));
        return ExitBadInput;
    }
    bool json() const { return parser_.isSet(opt_.json); }
    void jsonLine(const QJsonObject& o) {
        io_.out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
    }

    QString helpText() const;
    bool parseNumber(const QString& text, int min, int max, int* out) const;
    std::optional<int> importOptions(ImportOptions* out);
    // Where download and pack write: --data-dir, or a temporary directory of this run.
    QString workDir();
    // The BMP list for PICTURE... (converted where needed) or --list; false with *status set.
    bool collectEntries(const QStringList& pictures, QStringList* entries, bool* fromList, int* status);
    QString pictureError(const QString& importError, const QString& path) const;

    int portCommand(PortPlan plan);
    int consoleCommand(int index, const QString& params);

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

    const Io& io_;
    QCommandLineParser parser_;
    Options opt_;
    QStringList args_; // positional arguments after the command
    std::unique_ptr<QTemporaryDir> tempDir_;
};

QString Command::helpText() const {
    QString text = parser_.helpText();
    // The first line names the program as it was started; the usage names it plainly.
    text = QStringLiteral("Usage: panelix-cli COMMAND [options] [arguments]") + text.mid(text.indexOf(QLatin1Char('\n')));
    return text + QLatin1Char('\n') + QString::fromUtf8(Commands);
}

bool Command::parseNumber(const QString& text, int min, int max, int* out) const {
    bool ok = false;
    const QString t = text.trimmed();
    const int v = t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive) ? t.mid(2).toInt(&ok, 16) : t.toInt(&ok, 10);
    if (!ok || v < min || v > max)
        return false;
    *out = v;
    return true;
}

std::optional<int> Command::importOptions(ImportOptions* o) {
    if (parser_.isSet(opt_.size)) {
        const QStringList wh = parser_.value(opt_.size).toLower().split(QLatin1Char('x'));
        int w = 0;
        int h = 0;
        if (wh.size() != 2 || !parseNumber(wh[0], 1, MaxPictureSize.width(), &w) ||
            !parseNumber(wh[1], 1, MaxPictureSize.height(), &h))
            return usage(QStringLiteral("--size must be WxH within 1x1..640x481, not '%1'").arg(parser_.value(opt_.size)));
        o->target = QSize(w, h);
    }
    if (parser_.isSet(opt_.fit) && !parseFitMode(parser_.value(opt_.fit), &o->fit))
        return usage(QStringLiteral("--fit must be fit, fill, stretch or original, not '%1'").arg(parser_.value(opt_.fit)));
    if (parser_.isSet(opt_.dither) && !parseDitherMethod(parser_.value(opt_.dither), &o->dither))
        return usage(QStringLiteral("--dither must be floyd-steinberg, atkinson, bayer4, bayer8 or threshold, not '%1'")
                         .arg(parser_.value(opt_.dither)));
    if (parser_.isSet(opt_.threshold) && !parseNumber(parser_.value(opt_.threshold), 0, 255, &o->threshold))
        return usage(QStringLiteral("--threshold must be 0..255, not '%1'").arg(parser_.value(opt_.threshold)));
    if (parser_.isSet(opt_.brightness) && !parseNumber(parser_.value(opt_.brightness), -100, 100, &o->brightness))
        return usage(QStringLiteral("--brightness must be -100..100, not '%1'").arg(parser_.value(opt_.brightness)));
    if (parser_.isSet(opt_.contrast) && !parseNumber(parser_.value(opt_.contrast), -100, 100, &o->contrast))
        return usage(QStringLiteral("--contrast must be -100..100, not '%1'").arg(parser_.value(opt_.contrast)));
    if (parser_.isSet(opt_.gamma)) {
        bool ok = false;
        const double g = parser_.value(opt_.gamma).toDouble(&ok);
        if (!ok || !(g >= 0.2 && g <= 5))
            return usage(QStringLiteral("--gamma must be 0.2..5, not '%1'").arg(parser_.value(opt_.gamma)));
        o->gamma = g;
    }
    o->invert = parser_.isSet(opt_.invert);
    return std::nullopt;
}

QString Command::workDir() {
    if (parser_.isSet(opt_.dataDir))
        return QDir(parser_.value(opt_.dataDir)).absolutePath();
    if (!tempDir_) {
        tempDir_ = std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("panelix-cli-XXXXXX")));
        if (!tempDir_->isValid())
            return QString();
    }
    return tempDir_->path();
}

QString Command::pictureError(const QString& importError, const QString& path) const {
    // The import names the file only; the command line names it as it was typed.
    const QString english = englishText(importError);
    const qsizetype colon = english.lastIndexOf(QStringLiteral(": "));
    return (colon > 0 ? english.left(colon + 2) : english + QStringLiteral(": ")) + path;
}

bool Command::collectEntries(const QStringList& pictures, QStringList* entries, bool* fromList, int* status) {
    *fromList = false;
    if (parser_.isSet(opt_.list)) {
        if (!pictures.isEmpty()) {
            *status = usage(QStringLiteral("give either --list or pictures, not both"));
            return false;
        }
        const QString path = parser_.value(opt_.list);
        if (!QFileInfo(path).isFile()) {
            *status = bad(QStringLiteral("list file not found: %1").arg(path));
            return false;
        }
        ListFile file;
        QString message;
        *entries = file.LoadList(path, &message);
        if (!message.isEmpty()) {
            *status = bad(QStringLiteral("the list file could not be read: %1").arg(path));
            return false;
        }
        *fromList = true;
        return true;
    }
    if (pictures.isEmpty()) {
        *status = usage(QStringLiteral("no pictures given (PICTURE..., --list or --image)"));
        return false;
    }
    ImportOptions options;
    if (auto s = importOptions(&options)) {
        *status = *s;
        return false;
    }
    QString dir;
    for (const QString& picture : pictures) {
        if (interruptRequested()) {
            *status = ExitInterrupted;
            return false;
        }
        if (!QFileInfo(picture).isFile()) {
            *status = bad(QStringLiteral("picture not found: %1").arg(picture));
            return false;
        }
        if (isMonoBmp(picture)) {
            entries->append(QFileInfo(picture).absoluteFilePath());
            continue;
        }
        if (dir.isEmpty()) {
            dir = workDir();
            if (dir.isEmpty() || !QDir().mkpath(dir)) {
                *status = bad(QStringLiteral("the data directory cannot be used: %1").arg(dir));
                return false;
            }
        }
        MonoBitmap bitmap;
        QString error;
        if (!importPicture(picture, options, &bitmap, &error)) {
            *status = bad(pictureError(error, picture));
            return false;
        }
        const QString bmp = QDir(dir).filePath(bmpNameFor(picture, dir));
        if (!writeBmpFile(bmp, bitmap, &error)) {
            *status = bad(QStringLiteral("cannot write %1: %2").arg(bmp, error));
            return false;
        }
        entries->append(bmp);
    }
    return true;
}

int Command::portCommand(PortPlan plan) {
    const QStringList ports = parser_.values(opt_.port);
    if (ports.isEmpty())
        return usage(QStringLiteral("no port given: use --port DEV"));
    for (int i = 0; i < ports.size(); ++i) {
        if (ports.indexOf(ports[i]) != i)
            return usage(QStringLiteral("port given twice: %1").arg(ports[i]));
    }
    plan.json = json();
    if (parser_.isSet(opt_.timeout)) {
        bool ok = false;
        const double s = parser_.value(opt_.timeout).toDouble(&ok);
        if (!ok || !(s > 0 && s <= 3600))
            return usage(QStringLiteral("--timeout must be a number of seconds above 0, not '%1'").arg(parser_.value(opt_.timeout)));
        plan.answerMs = int(std::lround(s * 1000));
    }
    QList<PortResult> results;
    const int status = runOnPorts(ports, plan, io_, &results);
    if (json())
        return status;

    if (results.size() == 1) {
        const PortResult& r = results.first();
        if (r.status == ExitDone) {
            QString text = QStringLiteral("%1: %2").arg(r.port, r.message);
            if (r.total > 0 && plan.op != PortOp::Command)
                text += QStringLiteral(", %1 bytes in %2 s").arg(r.bytes).arg(r.seconds, 0, 'f', 1);
            io_.out(text + QLatin1Char('\n'));
        }
    } else {
        int width = 4;
        for (const PortResult& r : results)
            width = std::max(width, int(r.port.size()));
        QString table = QStringLiteral("%1  %2  %3  %4\n")
                            .arg(QStringLiteral("port"), -width)
                            .arg(QStringLiteral("result"), -12)
                            .arg(QStringLiteral("seconds"), 8)
                            .arg(QStringLiteral("bytes"), 8);
        for (const PortResult& r : results) {
            const QString result = r.status == ExitDone ? QStringLiteral("done") : QStringLiteral("failed (%1)").arg(r.status);
            table += QStringLiteral("%1  %2  %3  %4\n")
                         .arg(r.port, -width)
                         .arg(result, -12)
                         .arg(r.seconds, 8, 'f', 1)
                         .arg(r.bytes, 8);
        }
        io_.out(table);
    }
    if (status == ExitInterrupted) {
        QStringList incomplete;
        for (const PortResult& r : results) {
            if (r.status == ExitInterrupted)
                incomplete << r.port;
        }
        io_.err(QStringLiteral("panelix-cli: interrupted; incomplete on %1\n").arg(incomplete.join(QStringLiteral(", "))));
    }
    return status;
}

int Command::cmdTest() {
    if (!args_.isEmpty())
        return usage(QStringLiteral("test takes no arguments"));
    PortPlan plan;
    plan.op = PortOp::Test;
    plan.answerMs = 2000;
    return portCommand(plan);
}

int Command::cmdDownload() {
    PortPlan plan;
    if (parser_.isSet(opt_.image)) {
        if (!args_.isEmpty() || parser_.isSet(opt_.list))
            return usage(QStringLiteral("give one of --image, --list or pictures"));
        if (parser_.values(opt_.port).isEmpty())
            return usage(QStringLiteral("no port given: use --port DEV"));
        const QString path = parser_.value(opt_.image);
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
            return bad(QStringLiteral("cannot open download image: %1").arg(path));
        if (file.size() > module::BitmapImageSize)
            return bad(QStringLiteral("not a download image (larger than %1 bytes): %2").arg(module::BitmapImageSize).arg(path));
        plan.bytes = file.readAll();
        // The same checks as the session's, here with the file's name.
        const BitmapDownloadPlan check = planBitmapDownload(plan.bytes, ModuleSession::PageSize);
        if (!check.accepted)
            return bad(englishText(check.message) + QStringLiteral(": ") + path);
        plan.op = PortOp::Image;
        return portCommand(plan);
    }
    if (parser_.values(opt_.port).isEmpty())
        return usage(QStringLiteral("no port given: use --port DEV"));
    int status = ExitDone;
    if (!collectEntries(args_, &plan.entries, &plan.entriesAreList, &status))
        return status;
    plan.op = PortOp::Bitmaps;
    plan.dataDir = workDir();
    if (plan.dataDir.isEmpty())
        return bad(QStringLiteral("no temporary directory for the list and the image"));
    return portCommand(plan);
}

int Command::cmdFont() {
    if (args_.size() > 1)
        return usage(QStringLiteral("font takes at most one FILE"));
    PortPlan plan;
    plan.op = PortOp::Font;
    if (args_.isEmpty()) {
        plan.dataDir = parser_.isSet(opt_.dataDir) ? parser_.value(opt_.dataDir) : QDir::home().filePath(QStringLiteral("dispkit"));
        const QString font = findDataFile(plan.dataDir, QStringLiteral("hzk16"));
        if (!QFileInfo(font).isFile())
            return bad(QStringLiteral("font file not found: %1").arg(font));
    } else {
        // The session loads hzk16 from a data directory: a directory of this run holds a
        // link of that name to the file.
        const QString font = args_.first();
        QFile probe(font);
        if (!QFileInfo(font).isFile() || !probe.open(QIODevice::ReadOnly))
            return bad(QStringLiteral("font file not found or unreadable: %1").arg(font));
        tempDir_ = std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("panelix-cli-XXXXXX")));
        if (!tempDir_->isValid() ||
            !QFile::link(QFileInfo(font).absoluteFilePath(), tempDir_->filePath(QStringLiteral("hzk16"))))
            return bad(QStringLiteral("no temporary directory for the font: %1").arg(font));
        plan.dataDir = tempDir_->path();
    }
    return portCommand(plan);
}

int Command::cmdSend() {
    QString hex = args_.join(QString());
    hex.remove(QLatin1Char(' '));
    if (hex.isEmpty())
        return usage(QStringLiteral("send needs the bytes as hexadecimal, e.g. 1D 03 0D"));
    static const QRegularExpression digits(QStringLiteral("^[0-9A-Fa-f]+$"));
    if (hex.size() % 2 != 0 || !digits.match(hex).hasMatch())
        return usage(QStringLiteral("not hexadecimal bytes: %1").arg(args_.join(QLatin1Char(' '))));
    PortPlan plan;
    plan.op = PortOp::Command;
    plan.bytes = QByteArray::fromHex(hex.toLatin1());
    return portCommand(plan);
}

// The bytes the window's console sends for the command at index with these parameters,
// inverted first when --invert is given: the console's own select, preview, invert and send.
int Command::consoleCommand(int index, const QString& params) {
    CommandConsole console;
    console.select(index, CommandConsole::captions().at(index));
    console.preview(QString());
    QString text2 = console.preview(params);
    if (parser_.isSet(opt_.invert))
        text2 = console.invert(text2);
    const CommandConsole::SendResult sent = console.send(text2);
    if (!sent.valid)
        return usage(QStringLiteral("the command cannot be built: %1").arg(sent.text2));
    PortPlan plan;
    plan.op = PortOp::Command;
    plan.bytes = sent.bytes;
    return portCommand(plan);
}

int Command::cmdShow() {
    int n = 0;
    int x = 0;
    int y = 0;
    if ((args_.size() != 1 && args_.size() != 3) || !parseNumber(args_[0], 0, 255, &n))
        return usage(QStringLiteral("show needs N (0..255), optionally followed by X Y"));
    if (args_.size() == 3 && (!parseNumber(args_[1], 0, 255, &x) || !parseNumber(args_[2], 0, 255, &y)))
        return usage(QStringLiteral("show: X and Y must be 0..255"));
    const auto hex2 = [](int v) { return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper(); };
    return consoleCommand(2, hex2(x) + hex2(y) + hex2(n));
}

int Command::cmdClear() {
    if (!args_.isEmpty())
        return usage(QStringLiteral("clear takes no arguments"));
    return consoleCommand(3, QString());
}

int Command::cmdBacklight() {
    if (args_.size() != 1 || (args_[0] != QStringLiteral("on") && args_[0] != QStringLiteral("off")))
        return usage(QStringLiteral("backlight needs on or off"));
    return consoleCommand(args_[0] == QStringLiteral("on") ? 7 : 8, QString());
}

int Command::cmdText() {
    int x = 0;
    int y = 0;
    if (args_.size() < 3 || !parseNumber(args_[0], 0, 255, &x) || !parseNumber(args_[1], 0, 255, &y))
        return usage(QStringLiteral("text needs X Y TEXT (X and Y 0..255)"));
    const QString text = args_.mid(2).join(QLatin1Char(' '));
    const auto hex2 = [](int v) { return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper(); };
    return consoleCommand(parser_.isSet(opt_.large) ? 1 : 0, hex2(x) + hex2(y) + text);
}

int Command::cmdPack() {
    if (!parser_.isSet(opt_.output))
        return usage(QStringLiteral("pack needs -o FILE.add"));
    const QString out = parser_.value(opt_.output);
    QStringList entries;
    bool fromList = false;
    int status = ExitDone;
    if (!collectEntries(args_, &entries, &fromList, &status))
        return status;
    // The window's list holds at most 251 entries; the builder refuses above 127 anyway.
    if (!fromList && entries.size() > BitmapList::MaxEntries)
        return bad(englishText(QStringLiteral("位图列表已满,最多251个!")));
    DownloadImageBuilder builder;
    if (!builder.BuildDownloadImage(entries, out)) {
        const QString text = builder.error();
        if (text == QStringLiteral("file.add写入失败!"))
            return bad(QStringLiteral("cannot write %1").arg(out));
        return bad(englishText(text));
    }
    const module::Directory dir = module::decodeDirectory(builder.downloadImage());
    if (json()) {
        for (int n = 0; n < int(dir.images.size()); ++n) {
            const module::DirectoryEntry& e = dir.images[std::size_t(n)];
            jsonLine({{"event", "entry"},
                      {"entry", n},
                      {"file", entries.value(n)},
                      {"columns", e.widthBytes},
                      {"rows", e.height},
                      {"address", qint64(e.start)}});
        }
    } else {
        QString table = QStringLiteral("entry  columns  rows  address  file\n");
        for (int n = 0; n < int(dir.images.size()); ++n) {
            const module::DirectoryEntry& e = dir.images[std::size_t(n)];
            table += QStringLiteral("%1  %2  %3  0x%4  %5\n")
                         .arg(n, 5)
                         .arg(e.widthBytes, 7)
                         .arg(e.height, 4)
                         .arg(e.start, 5, 16, QLatin1Char('0'))
                         .arg(entries.value(n));
        }
        table += QStringLiteral("end 0x%1 (%2 bytes)\n").arg(dir.end, 5, 16, QLatin1Char('0')).arg(dir.end);
        io_.out(table);
    }
    // Built and written as the window does; a download of it would then be refused.
    const BitmapDownloadPlan plan = planBitmapDownload(builder.downloadImage(), ModuleSession::PageSize);
    if (!plan.accepted)
        return bad(englishText(plan.message) + QStringLiteral(": %1 (written anyway, as the window does)").arg(out));
    if (json())
        jsonLine({{"event", "done"}, {"file", out}, {"end", qint64(dir.end)}, {"entries", int(dir.images.size())}});
    else
        io_.out(QStringLiteral("wrote %1\n").arg(out));
    return ExitDone;
}

int Command::cmdConvert() {
    if (args_.isEmpty())
        return usage(QStringLiteral("convert needs PICTURE... -o DIR|FILE.bmp"));
    if (!parser_.isSet(opt_.output))
        return usage(QStringLiteral("convert needs -o DIR (or -o FILE.bmp for one picture)"));
    ImportOptions options;
    if (auto s = importOptions(&options))
        return *s;
    const QString out = parser_.value(opt_.output);
    const bool toFile = out.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive) && !QFileInfo(out).isDir();
    if (toFile && args_.size() != 1)
        return usage(QStringLiteral("-o FILE.bmp takes one picture; give a directory for several"));
    if (!toFile && !QDir().mkpath(out))
        return bad(QStringLiteral("cannot create the output directory: %1").arg(out));
    int status = ExitDone;
    for (const QString& picture : args_) {
        if (interruptRequested())
            return ExitInterrupted;
        MonoBitmap bitmap;
        QString error;
        if (!QFileInfo(picture).isFile()) {
            status = bad(QStringLiteral("picture not found: %1").arg(picture));
            continue;
        }
        if (!importPicture(picture, options, &bitmap, &error)) {
            status = bad(pictureError(error, picture));
            continue;
        }
        const QString target = toFile ? out : QDir(out).filePath(bmpNameFor(picture, out));
        if (!writeBmpFile(target, bitmap, &error)) {
            status = bad(QStringLiteral("cannot write %1: %2").arg(target, error));
            continue;
        }
        if (json())
            jsonLine({{"event", "done"}, {"file", picture}, {"output", target}, {"width", bitmap.width()}, {"height", bitmap.height()}});
        else
            io_.out(QStringLiteral("%1 -> %2 (%3 x %4)\n").arg(picture, target).arg(bitmap.width()).arg(bitmap.height()));
    }
    return status;
}

int Command::cmdInspect() {
    if (args_.size() != 1)
        return usage(QStringLiteral("inspect needs one FILE.add or FILE.bmp"));
    const QString path = args_.first();
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return bad(QStringLiteral("cannot open: %1").arg(path));
    const QByteArray head = file.read(2);
    file.close();

    // The pictures as the module draws them: all 8 x byte-columns dots a row, bit 0 dark.
    std::vector<QImage> pictures;
    const auto render = [](const MonoBitmap& b) {
        QImage img(b.widthBytes() * 8, b.height(), QImage::Format_Mono);
        img.setColor(0, qRgb(0, 0, 0));
        img.setColor(1, qRgb(255, 255, 255));
        for (int y = 0; y < b.height(); ++y)
            memcpy(img.scanLine(y), b.row(y), std::size_t(b.widthBytes()));
        return img;
    };

    if (head == "BM") {
        BmpReader reader;
        if (!reader.ReadBmp(path))
            return bad(pictureError(reader.error(), path));
        const MonoBitmap b = reader.bitmap();
        if (json())
            jsonLine({{"event", "bitmap"}, {"file", path}, {"width", b.width()}, {"height", b.height()}, {"columns", b.widthBytes()}});
        else
            io_.out(QStringLiteral("%1: 1-bit BMP, %2 x %3 dots, %4 byte columns\n").arg(path).arg(b.width()).arg(b.height()).arg(b.widthBytes()));
        pictures.push_back(render(b));
    } else {
        if (!file.open(QIODevice::ReadOnly))
            return bad(QStringLiteral("cannot open: %1").arg(path));
        if (file.size() > module::BitmapImageSize)
            return bad(QStringLiteral("not a download image (larger than %1 bytes): %2").arg(module::BitmapImageSize).arg(path));
        const QByteArray image = file.readAll();
        if (image.size() < module::DirectorySize)
            return bad(QStringLiteral("not a download image (shorter than its 1024-byte directory): %1").arg(path));
        const module::Directory dir = module::decodeDirectory(image);
        // Image memory after a download of this file: the bytes up to E, zeros after.
        QByteArray memory = image.left(std::min<qint64>(dir.end, image.size()));
        memory.append(module::ImageMemorySize - memory.size(), '\0');
        QString table = QStringLiteral("%1: %2 %3, end 0x%4 (%5 bytes)\n")
                            .arg(path)
                            .arg(dir.count)
                            .arg(dir.count == 1 ? QStringLiteral("picture") : QStringLiteral("pictures"))
                            .arg(dir.end, 5, 16, QLatin1Char('0'))
                            .arg(dir.end);
        if (dir.count > module::MaxBitmaps)
            table += QStringLiteral("warning: the count %1 is above 127; the module reads 127 entries\n").arg(dir.count);
        if (dir.end > quint32(module::MaxBitmapTransfer))
            table += QStringLiteral("warning: the end lies above 0x40001: the download would be refused\n");
        table += QStringLiteral("entry  columns  rows  address\n");
        for (int n = 0; n < int(dir.images.size()); ++n) {
            const module::DirectoryEntry& e = dir.images[std::size_t(n)];
            table += QStringLiteral("%1  %2  %3  0x%4\n").arg(n, 5).arg(e.widthBytes, 7).arg(e.height, 4).arg(e.start, 5, 16, QLatin1Char('0'));
            if (json())
                jsonLine({{"event", "entry"}, {"entry", n}, {"columns", e.widthBytes}, {"rows", e.height}, {"address", qint64(e.start)}});
            if (e.widthBytes == 0 || e.height == 0)
                continue;
            // Rows beyond image memory are not drawn: light.
            MonoBitmap b(e.widthBytes * 8, e.height);
            for (int y = 0; y < e.height; ++y) {
                const qint64 at = qint64(e.start) + qint64(y) * e.widthBytes;
                if (at + e.widthBytes <= memory.size())
                    memcpy(b.row(y), memory.constData() + at, std::size_t(e.widthBytes));
            }
            pictures.push_back(render(b));
        }
        if (json())
            jsonLine({{"event", "image"}, {"file", path}, {"entries", dir.count}, {"end", qint64(dir.end)}});
        else
            io_.out(table);
    }

    if (!parser_.isSet(opt_.output))
        return ExitDone;
    const QString out = parser_.value(opt_.output);
    if (pictures.empty())
        return bad(QStringLiteral("no pictures to render: %1").arg(path));
    // One picture under the other, 4 grey rows between them.
    int width = 0;
    int height = 0;
    for (const QImage& p : pictures) {
        width = std::max(width, p.width());
        height += p.height() + (height ? 4 : 0);
    }
    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(qRgb(128, 128, 128));
    int y = 0;
    for (const QImage& p : pictures) {
        const QImage rgb = p.convertToFormat(QImage::Format_RGB32);
        for (int r = 0; r < rgb.height(); ++r)
            memcpy(sheet.scanLine(y + r), rgb.constScanLine(r), std::size_t(rgb.width()) * 4);
        y += p.height() + 4;
    }
    if (!sheet.save(out, "PNG"))
        return bad(QStringLiteral("cannot write %1").arg(out));
    if (!json())
        io_.out(QStringLiteral("wrote %1\n").arg(out));
    return ExitDone;
}

int Command::cmdPorts() {
    const QList<SerialPortInfo> ports = systemSerialPorts();
    for (const SerialPortInfo& p : ports) {
        const QString ids = p.hasUsbIds ? QStringLiteral("%1:%2")
                                              .arg(p.vendorId, 4, 16, QLatin1Char('0'))
                                              .arg(p.productId, 4, 16, QLatin1Char('0'))
                                        : QString();
        if (json()) {
            jsonLine({{"event", "port"}, {"port", p.path}, {"stable", p.stablePath}, {"description", p.description},
                      {"manufacturer", p.manufacturer}, {"usb", ids}, {"serial", p.serialNumber}});
            continue;
        }
        // The stable name first: it is the one to give --port on a production line.
        QString line = p.identity();
        for (const QString& part : {p.identity() != p.path ? p.path : QString(), p.description, p.manufacturer, ids,
                                    p.serialNumber.isEmpty() ? QString() : QStringLiteral("serial ") + p.serialNumber}) {
            if (!part.isEmpty())
                line += QStringLiteral("  ") + part;
        }
        io_.out(line + QLatin1Char('\n'));
    }
    if (ports.isEmpty() && !json())
        io_.err(QStringLiteral("panelix-cli: no serial devices found\n"));
    return ExitDone;
}

int Command::run(const QStringList& arguments) {
    parser_.setApplicationDescription(QStringLiteral("Panelix command line tool: drives the 320 x 240 LCD module over RS-232."));
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    parser_.addOption(help);
    for (const QCommandLineOption* o : {&opt_.port, &opt_.dataDir, &opt_.image, &opt_.list, &opt_.output, &opt_.size,
                                        &opt_.fit, &opt_.dither, &opt_.threshold, &opt_.brightness, &opt_.contrast,
                                        &opt_.gamma, &opt_.invert, &opt_.large, &opt_.timeout, &opt_.json})
        parser_.addOption(*o);

    if (!parser_.parse(arguments))
        return usage(parser_.errorText());
    if (parser_.isSet(help)) {
        io_.out(helpText());
        return ExitDone;
    }
    QStringList positional = parser_.positionalArguments();
    if (positional.isEmpty())
        return usage(QStringLiteral("no command given"));
    const QString command = positional.takeFirst();
    args_ = positional;

    if (command == QStringLiteral("test"))
        return cmdTest();
    if (command == QStringLiteral("download"))
        return cmdDownload();
    if (command == QStringLiteral("font"))
        return cmdFont();
    if (command == QStringLiteral("send"))
        return cmdSend();
    if (command == QStringLiteral("show"))
        return cmdShow();
    if (command == QStringLiteral("clear"))
        return cmdClear();
    if (command == QStringLiteral("backlight"))
        return cmdBacklight();
    if (command == QStringLiteral("text"))
        return cmdText();
    if (command == QStringLiteral("pack"))
        return cmdPack();
    if (command == QStringLiteral("convert"))
        return cmdConvert();
    if (command == QStringLiteral("inspect"))
        return cmdInspect();
    if (command == QStringLiteral("ports"))
        return cmdPorts();
    return usage(QStringLiteral("unknown command '%1'").arg(command));
}

} // namespace

int run(const QStringList& arguments, const Io& io) {
    if (arguments.size() == 2 && arguments[1] == QStringLiteral("--version")) {
        io.out(QStringLiteral("panelix-cli " PANELIX_VERSION "\n"));
        return ExitDone;
    }
    clearInterrupt();
    Command command(io);
    return command.run(arguments);
}

bool needsGui(const QStringList& arguments) {
    for (const QString& a : arguments.mid(1)) {
        if (a == QStringLiteral("download") || a == QStringLiteral("pack") || a == QStringLiteral("convert"))
            return true;
    }
    return false;
}

} // namespace panelix::cli
