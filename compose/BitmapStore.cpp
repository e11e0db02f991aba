#include "compose/BitmapStore.h"

#include "bitmap/BmpWriter.h"
#include "common/Gbk.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace panelix::compose {

StoreOutcome storeInList(BitmapList& list, const QString& path, const MonoBitmap& bitmap) {
    StoreOutcome out;
    const bool listed = list.entries().contains(path);
    if (fromGbk(toGbk(path)) != path) {
        out.error = inputError(InputReason::PathNotStorable, path);
        return out;
    }
    if (!listed && list.count() >= BitmapList::MaxEntries) {
        list.add(path, &out.error);
        return out;
    }
    if (!writeBmpFile(path, bitmap)) {
        out.error = inputError(InputReason::BitmapNotWritten, path);
        return out;
    }
    out.ok = true;
    if (!listed)
        out.added = list.add(path, &out.error);
    return out;
}

QString freeBaseName(const QString& dir, const QString& name) {
    QSet<QString> taken;
    for (const QString& entry : QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System))
        taken.insert(entry.toLower());
    auto isFree = [&](const QString& base) {
        return !taken.contains((base + QStringLiteral(".bmp")).toLower()) &&
               !taken.contains((base + QStringLiteral(".json")).toLower());
    };
    if (isFree(name))
        return name;
    for (int n = 2;; ++n) {
        const QString candidate = QStringLiteral("%1-%2").arg(name).arg(n);
        if (isFree(candidate))
            return candidate;
    }
}

} // namespace panelix::compose
