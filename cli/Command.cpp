#include "cli/Command.h"

#include "bitmap/BmpWriter.h"
#include "cli/FirmwareCommands.h"
#include "cli/Paths.h"
#include "cli/Texts.h"
#include "import/Animation.h"
#include "library/ListFile.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace panelix::cli {

int Command::usage(const QString& message) {
    io_.err(QStringLiteral("panelix-cli: %1\nTry 'panelix-cli --help'.\n").arg(message));
    return ExitUsage;
}

int Command::bad(const QString& message) {
    if (json())
        jsonLine({{"event", "error"}, {"status", ExitBadInput}, {"message", message}});
    io_.err(QStringLiteral("panelix-cli: %1\n").arg(message));
    return ExitBadInput;
}

int Command::bad(const InputError& error) {
    return bad(inputErrorText(error));
}

QString Command::helpText() const {
    QString text = parser_.helpText();
    // The first line names the program as it was started; the usage names it plainly.
    text = QStringLiteral("Usage: panelix-cli COMMAND [options] [arguments]") + text.mid(text.indexOf(QLatin1Char('\n')));
    QString commands = QString::fromUtf8(CommandsHelp);
    commands.insert(commands.indexOf(QStringLiteral("  ports ")), QString::fromUtf8(FirmwareCommandsHelp));
    return text + QLatin1Char('\n') + commands;
}

bool parseNumber(const QString& text, int min, int max, int* out) {
    bool ok = false;
    const QString t = text.trimmed();
    const int v = t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive) ? t.mid(2).toInt(&ok, 16) : t.toInt(&ok, 10);
    if (!ok || v < min || v > max)
        return false;
    *out = v;
    return true;
}

QString readPictureOptions(const QCommandLineParser& parser, const PictureOptions& opt, ImportOptions* o) {
    if (parser.isSet(opt.size)) {
        const QStringList wh = parser.value(opt.size).toLower().split(QLatin1Char('x'));
        int w = 0;
        int h = 0;
        if (wh.size() != 2 || !parseNumber(wh[0], 1, MaxPictureSize.width(), &w) ||
            !parseNumber(wh[1], 1, MaxPictureSize.height(), &h))
            return QStringLiteral("--size must be WxH within 1x1..640x481, not '%1'").arg(parser.value(opt.size));
        o->target = QSize(w, h);
    }
    if (parser.isSet(opt.fit) && !parseFitMode(parser.value(opt.fit), &o->fit))
        return QStringLiteral("--fit must be fit, fill, stretch or original, not '%1'").arg(parser.value(opt.fit));
    if (parser.isSet(opt.dither) && !parseDitherMethod(parser.value(opt.dither), &o->dither))
        return QStringLiteral("--dither must be floyd-steinberg, atkinson, bayer4, bayer8 or threshold, not '%1'")
            .arg(parser.value(opt.dither));
    if (parser.isSet(opt.threshold) && !parseNumber(parser.value(opt.threshold), 0, 255, &o->threshold))
        return QStringLiteral("--threshold must be 0..255, not '%1'").arg(parser.value(opt.threshold));
    if (parser.isSet(opt.brightness) && !parseNumber(parser.value(opt.brightness), -100, 100, &o->brightness))
        return QStringLiteral("--brightness must be -100..100, not '%1'").arg(parser.value(opt.brightness));
    if (parser.isSet(opt.contrast) && !parseNumber(parser.value(opt.contrast), -100, 100, &o->contrast))
        return QStringLiteral("--contrast must be -100..100, not '%1'").arg(parser.value(opt.contrast));
    if (parser.isSet(opt.gamma)) {
        bool ok = false;
        const double g = parser.value(opt.gamma).toDouble(&ok);
        if (!ok || !(g >= 0.2 && g <= 5))
            return QStringLiteral("--gamma must be 0.2..5, not '%1'").arg(parser.value(opt.gamma));
        o->gamma = g;
    }
    return QString();
}

std::optional<int> Command::importOptions(ImportOptions* o) {
    if (const QString wrong = readPictureOptions(parser_, opt_.picture, o); !wrong.isEmpty())
        return usage(wrong);
    o->invert = parser_.isSet(opt_.invert);
    return std::nullopt;
}

QString Command::workDir() {
    if (parser_.isSet(opt_.dataDir))
        return QDir(parser_.value(opt_.dataDir)).absolutePath();
    return scratchDir();
}

QString Command::scratchDir() {
    if (!tempDir_) {
        tempDir_ = std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("panelix-cli-XXXXXX")));
        // The owner's pid lets a later run remove the directory when this process is killed.
        if (!tempDir_->isValid() || !claimTemporaryDir(tempDir_->path()))
            return QString();
    }
    return tempDir_->path();
}

bool Command::collectEntries(const QStringList& pictures, QStringList* entries, bool* fromList, int* status) {
    *fromList = false;
    if (parser_.isSet(opt_.list)) {
        if (!pictures.isEmpty()) {
            *status = usage(QStringLiteral("give either --list or pictures, not both"));
            return false;
        }
        const QString given = parser_.value(opt_.list);
        if (const QString problem = inputPathProblem(given, QStringLiteral("list file")); !problem.isEmpty()) {
            *status = bad(problem);
            return false;
        }
        const QString path = openablePath(given, scratchDir());
        ListFile file;
        InputError error;
        *entries = file.loadList(path, &error);
        if (error) {
            *status = bad(error);
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
    for (const QString& given : pictures) {
        if (interruptRequested()) {
            *status = ExitInterrupted;
            return false;
        }
        if (const QString problem = inputPathProblem(given, QStringLiteral("picture")); !problem.isEmpty()) {
            *status = bad(problem);
            return false;
        }
        const QString picture = openablePath(given, scratchDir());
        if (picture.isEmpty()) {
            *status = bad(QStringLiteral("cannot open: %1").arg(shownPath(given)));
            return false;
        }
        if (isMonoBmp(picture)) {
            entries->append(QFileInfo(picture).absoluteFilePath());
            entryDelays_.push_back(-1);
            continue;
        }
        if (dir.isEmpty()) {
            dir = workDir();
            if (dir.isEmpty() || !QDir().mkpath(dir)) {
                *status = bad(inputError(InputReason::DataDirUnusable, dir));
                return false;
            }
        }
        Animation animation;
        InputError error;
        if (!importAnimation(picture, options, &animation, &error)) {
            *status = bad(error);
            return false;
        }
        if (animation.framesLeftOut > 0)
            io_.err(QStringLiteral("panelix-cli: %1\n")
                        .arg(framesLeftOutText(shownPath(given), int(animation.frames.size()), animation.framesLeftOut)));
        // A frame each: name.bmp, name-2.bmp, ... in the frames' order.
        for (std::size_t k = 0; k < animation.frames.size(); ++k) {
            const QString bmp = QDir(dir).filePath(bmpNameFor(picture, dir));
            QString why;
            if (!writeBmpFile(bmp, animation.frames[k], &why)) {
                *status = bad(QStringLiteral("cannot write %1: %2").arg(bmp, why));
                return false;
            }
            entries->append(bmp);
            entryDelays_.push_back(animation.animated() ? playDelayMs(animation.delaysMs[k]) : -1);
        }
        if (animation.animated()) {
            ++animations_;
            loopCount_ = animation.loopCount;
        }
    }
    return true;
}

bool Command::loopsOption(std::optional<int>* passes, int* status) {
    if (!parser_.isSet(opt_.loops))
        return true;
    int n = 0;
    if (!parseNumber(parser_.value(opt_.loops), 0, ModuleSession::MaxPlayPasses, &n)) {
        *status = usage(QStringLiteral("--loops must be 0..%1 (0: until Ctrl+C), not '%2'")
                            .arg(ModuleSession::MaxPlayPasses)
                            .arg(parser_.value(opt_.loops)));
        return false;
    }
    *passes = n;
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
    if (parser_.isSet(opt_.show) && plan.op != PortOp::Bitmaps && plan.op != PortOp::Image)
        return usage(QStringLiteral("--show goes with download only"));
    if (parser_.isSet(opt_.play) && plan.op != PortOp::Bitmaps)
        return usage(QStringLiteral("--play goes with download of pictures only"));
    if (parser_.isSet(opt_.show) && !parseNumber(parser_.value(opt_.show), 0, 126, &plan.showAfter))
        return usage(QStringLiteral("--show must be a stored picture's number 0..126, not '%1'").arg(parser_.value(opt_.show)));
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

int Command::run(const QStringList& arguments) {
    parser_.setApplicationDescription(QStringLiteral("Panelix command line tool: drives the 320 x 240 LCD module over RS-232."));
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    parser_.addOption(help);
    for (const QCommandLineOption* o : {&opt_.port, &opt_.dataDir, &opt_.image, &opt_.list, &opt_.output})
        parser_.addOption(*o);
    for (const QCommandLineOption* o : opt_.picture.all())
        parser_.addOption(*o);
    for (const QCommandLineOption* o : {&opt_.invert, &opt_.large, &opt_.timeout, &opt_.json, &opt_.show, &opt_.test,
                                        &opt_.font, &opt_.match, &opt_.usb, &opt_.log, &opt_.count, &opt_.play,
                                        &opt_.first, &opt_.delays, &opt_.loops})
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
    sweepTemporaryDirs();

    return dispatch(command);
}


} // namespace panelix::cli
