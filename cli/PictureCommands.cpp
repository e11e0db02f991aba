// The commands that build files without a module: pack and convert.

#include "cli/Command.h"

#include "bitmap/BmpWriter.h"
#include "cli/Paths.h"
#include "cli/Texts.h"
#include "import/Animation.h"
#include "library/BitmapList.h"
#include "protocol/Module.h"
#include "session/ModuleSession.h"

#include <QDir>
#include <QFileInfo>

namespace panelix::cli {

int Command::cmdPack() {
    if (!parser_.isSet(opt_.output))
        return usage(QStringLiteral("pack needs -o FILE.add"));
    const QString out = parser_.value(opt_.output);
    if (const QString problem = outputPathProblem(out); !problem.isEmpty())
        return bad(problem);
    QStringList entries;
    bool fromList = false;
    int status = ExitDone;
    if (!collectEntries(args_, &entries, &fromList, &status))
        return status;
    // The window's list holds at most 251 entries; the builder refuses above 127 anyway.
    if (!fromList && entries.size() > BitmapList::MaxEntries)
        return bad(inputError(InputReason::ListFull));
    const PackedList packed = ModuleSession::packList(entries, out);
    if (!packed.built())
        return bad(packed.error);
    const module::Directory dir = module::decodeDirectory(packed.image);
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
    if (!packed.plan.accepted)
        return bad(inputErrorText(packed.plan.error) + QStringLiteral(": %1 (written anyway, as the window does)").arg(out));
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
    if (const QString problem = outputPathProblem(out); toFile && !problem.isEmpty())
        return bad(problem);
    if (!toFile && !QDir().mkpath(out))
        return bad(QStringLiteral("cannot create the output directory: %1").arg(out));
    int status = ExitDone;
    for (const QString& given : args_) {
        if (interruptRequested())
            return ExitInterrupted;
        Animation animation;
        InputError error;
        if (const QString problem = inputPathProblem(given, QStringLiteral("picture")); !problem.isEmpty()) {
            status = bad(problem);
            continue;
        }
        const QString picture = openablePath(given, scratchDir());
        if (picture.isEmpty()) {
            status = bad(QStringLiteral("cannot open: %1").arg(shownPath(given)));
            continue;
        }
        if (!importAnimation(picture, options, &animation, &error)) {
            status = bad(error);
            continue;
        }
        if (animation.framesLeftOut > 0)
            io_.err(QStringLiteral("panelix-cli: %1\n")
                        .arg(framesLeftOutText(shownPath(given), int(animation.frames.size()), animation.framesLeftOut)));
        // An animation gives a file a frame: NAME.bmp, NAME-2.bmp, ... (FILE.bmp, FILE-2.bmp, ...).
        for (std::size_t k = 0; k < animation.frames.size(); ++k) {
            const MonoBitmap& bitmap = animation.frames[k];
            const QString dir = toFile ? QFileInfo(out).path() : out;
            const QString target = toFile && k == 0 ? out : QDir(dir).filePath(bmpNameFor(toFile ? out : picture, dir));
            if (const QString problem = outputPathProblem(target); !problem.isEmpty()) {
                status = bad(problem);
                break;
            }
            QString why;
            if (!writeBmpFile(target, bitmap, &why)) {
                status = bad(QStringLiteral("cannot write %1: %2").arg(target, why));
                break;
            }
            const QString frame = animation.animated() ? QStringLiteral(", frame %1 of %2, %3 ms")
                                                             .arg(k + 1)
                                                             .arg(animation.frames.size())
                                                             .arg(playDelayMs(animation.delaysMs[k]))
                                                       : QString();
            if (json()) {
                QJsonObject o{{"event", "done"}, {"file", shownPath(given)}, {"output", target}, {"width", bitmap.width()},
                              {"height", bitmap.height()}};
                if (animation.animated()) {
                    o.insert(QStringLiteral("frame"), int(k));
                    o.insert(QStringLiteral("delayMs"), playDelayMs(animation.delaysMs[k]));
                }
                jsonLine(o);
            } else {
                io_.out(QStringLiteral("%1 -> %2 (%3 x %4%5)\n")
                            .arg(shownPath(given), target)
                            .arg(bitmap.width())
                            .arg(bitmap.height())
                            .arg(frame));
            }
        }
    }
    return status;
}

} // namespace panelix::cli
