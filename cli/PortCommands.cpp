// The commands that talk to the module on one or many ports.

#include "cli/Command.h"

#include "cli/Paths.h"

#include "bitmap/BitmapDownload.h"
#include "cli/Texts.h"
#include "common/DataDir.h"
#include "protocol/Module.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace panelix::cli {

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
