// The commands that talk to the module on one or many ports.

#include "cli/Command.h"

#include "cli/Paths.h"

#include "bitmap/BitmapDownload.h"
#include "cli/Texts.h"
#include "common/DataDir.h"
#include "import/Animation.h"
#include "protocol/Module.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace panelix::cli {

namespace {

// How long a still picture stays when download --play shows it among animation frames.
constexpr int StillPictureMs = 1000;

} // namespace

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
        const QString given = parser_.value(opt_.image);
        if (const QString problem = inputPathProblem(given, QStringLiteral("download image")); !problem.isEmpty())
            return bad(problem);
        const QString path = openablePath(given, scratchDir());
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
            return bad(QStringLiteral("cannot open download image: %1").arg(shownPath(given)));
        if (file.size() > module::BitmapImageSize)
            return bad(QStringLiteral("not a download image (larger than %1 bytes): %2").arg(module::BitmapImageSize).arg(path));
        plan.bytes = file.readAll();
        // Refused here with the file's name, before any port is opened; the session
        // checks the same again.
        const BitmapDownloadPlan check = planBitmapDownload(plan.bytes);
        if (!check.accepted) {
            InputError error = check.error;
            error.path = path;
            return bad(error);
        }
        plan.op = PortOp::Image;
        return portCommand(plan);
    }
    if (parser_.values(opt_.port).isEmpty())
        return usage(QStringLiteral("no port given: use --port DEV"));
    const bool play = parser_.isSet(opt_.play);
    if (play && parser_.isSet(opt_.list))
        return usage(QStringLiteral("--play takes pictures, not --list"));
    if (play && parser_.isSet(opt_.show))
        return usage(QStringLiteral("give --play or --show, not both"));
    if (!play && parser_.isSet(opt_.loops))
        return usage(QStringLiteral("--loops goes with --play"));
    int status = ExitDone;
    std::optional<int> passes;
    if (!loopsOption(&passes, &status))
        return status;
    if (!collectEntries(args_, &plan.entries, &plan.entriesAreList, &status))
        return status;
    if (play) {
        // The pictures in the order sent: a GIF's frames with its delays, a still picture
        // for a second; as often as the one animation says, unless --loops says otherwise.
        plan.playAfter = true;
        plan.play.first = 0;
        for (int d : entryDelays_)
            plan.play.delaysMs.push_back(d >= 0 ? d : StillPictureMs);
        plan.play.passes = passes ? *passes : animations_ == 1 ? playPasses(loopCount_) : 1;
    }
    plan.op = PortOp::Bitmaps;
    plan.dataDir = workDir();
    if (plan.dataDir.isEmpty())
        return bad(QStringLiteral("no temporary directory for the list and the image"));
    return portCommand(plan);
}

int Command::cmdPlay() {
    PortPlan plan;
    plan.op = PortOp::Play;
    if (!args_.isEmpty() && args_.size() != 2)
        return usage(QStringLiteral("play takes no arguments but X Y"));
    if (args_.size() == 2 && (!parseNumber(args_[0], 0, 255, &plan.play.x) || !parseNumber(args_[1], 0, 255, &plan.play.y)))
        return usage(QStringLiteral("play: X and Y must be 0..255"));
    const int stored = module::MaxBitmaps;
    if (parser_.isSet(opt_.first) && !parseNumber(parser_.value(opt_.first), 0, stored - 1, &plan.play.first))
        return usage(QStringLiteral("--first must be a stored picture's number 0..%1, not '%2'")
                         .arg(stored - 1)
                         .arg(parser_.value(opt_.first)));
    int count = 0;
    if (!parser_.isSet(opt_.count))
        return usage(QStringLiteral("play needs --count K, the number of frames"));
    if (!parseNumber(parser_.value(opt_.count), 1, stored - plan.play.first, &count))
        return usage(QStringLiteral("--count must be 1..%1 (pictures %2..%3 are stored), not '%4'")
                         .arg(stored - plan.play.first)
                         .arg(plan.play.first)
                         .arg(stored - 1)
                         .arg(parser_.value(opt_.count)));
    QList<int> delays;
    const QStringList given = parser_.isSet(opt_.delays) ? parser_.value(opt_.delays).split(QLatin1Char(','))
                                                          : QStringList{QStringLiteral("100")};
    for (const QString& d : given) {
        int ms = 0;
        if (!parseNumber(d, 0, ModuleSession::MaxPlayDelayMs, &ms))
            return usage(QStringLiteral("--delays must be milliseconds 0..%1, not '%2'")
                             .arg(ModuleSession::MaxPlayDelayMs)
                             .arg(d));
        delays << ms;
    }
    if (delays.size() != 1 && delays.size() != count)
        return usage(QStringLiteral("--delays gives %1 delays for %2 frames: give one for all or one a frame")
                         .arg(delays.size())
                         .arg(count));
    for (int k = 0; k < count; ++k)
        plan.play.delaysMs.push_back(delays.value(k, delays.first()));
    int status = ExitDone;
    std::optional<int> passes;
    if (!loopsOption(&passes, &status))
        return status;
    plan.play.passes = passes.value_or(1);
    plan.play.inverted = parser_.isSet(opt_.invert);
    return portCommand(plan);
}

int Command::cmdFont() {
    if (args_.size() > 1)
        return usage(QStringLiteral("font takes at most one FILE"));
    PortPlan plan;
    plan.op = PortOp::Font;
    if (args_.isEmpty()) {
        const QString dir = parser_.isSet(opt_.dataDir) ? parser_.value(opt_.dataDir)
                                                         : QDir::home().filePath(QStringLiteral("dispkit"));
        plan.fontPath = findDataFile(dir, QStringLiteral("hzk16"));
    } else {
        // A missing font keeps the window's reason; a directory or a FIFO is named as such.
        const QString problem = inputPathProblem(args_.first(), QStringLiteral("font"));
        if (!problem.isEmpty() && QFileInfo::exists(args_.first()))
            return bad(problem);
        plan.fontPath = openablePath(args_.first(), scratchDir());
    }
    QFile probe(plan.fontPath);
    if (!QFileInfo(plan.fontPath).isFile() || !probe.open(QIODevice::ReadOnly))
        return bad(inputError(InputReason::FontMissing, plan.fontPath));
    return portCommand(plan);
}

int Command::singleCommand(std::function<Refusal(ModuleSession&)> command) {
    PortPlan plan;
    plan.op = PortOp::Command;
    plan.command = std::move(command);
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

int Command::cmdShow() {
    int n = 0;
    int x = 0;
    int y = 0;
    if ((args_.size() != 1 && args_.size() != 3) || !parseNumber(args_[0], 0, 255, &n))
        return usage(QStringLiteral("show needs N (0..255), optionally followed by X Y"));
    if (args_.size() == 3 && (!parseNumber(args_[1], 0, 255, &x) || !parseNumber(args_[2], 0, 255, &y)))
        return usage(QStringLiteral("show: X and Y must be 0..255"));
    const bool inverted = parser_.isSet(opt_.invert);
    return singleCommand([=](ModuleSession& s) { return s.showImage(n, x, y, inverted); });
}

int Command::cmdClear() {
    if (!args_.isEmpty())
        return usage(QStringLiteral("clear takes no arguments"));
    const bool inverted = parser_.isSet(opt_.invert);
    return singleCommand([=](ModuleSession& s) { return s.clearScreen(inverted); });
}

int Command::cmdBacklight() {
    if (args_.size() != 1 || (args_[0] != QStringLiteral("on") && args_[0] != QStringLiteral("off")))
        return usage(QStringLiteral("backlight needs on or off"));
    const bool on = args_[0] == QStringLiteral("on");
    const bool inverted = parser_.isSet(opt_.invert);
    return singleCommand([=](ModuleSession& s) { return s.setBacklight(on, inverted); });
}

int Command::cmdText() {
    int x = 0;
    int y = 0;
    if (args_.size() < 3 || !parseNumber(args_[0], 0, 255, &x) || !parseNumber(args_[1], 0, 255, &y))
        return usage(QStringLiteral("text needs X Y TEXT (X and Y 0..255)"));
    const QString text = args_.mid(2).join(QLatin1Char(' '));
    const bool large = parser_.isSet(opt_.large);
    const bool inverted = parser_.isSet(opt_.invert);
    return singleCommand([=](ModuleSession& s) { return s.showText(x, y, text, large, inverted); });
}

} // namespace panelix::cli
