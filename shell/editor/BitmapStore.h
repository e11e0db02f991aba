#pragma once

#include "bitmap/MonoBitmap.h"
#include "library/BitmapList.h"

#include <QString>

namespace panelix::compose {

struct StoreOutcome {
    bool ok = false;
    bool added = false; // false when the path was listed already
    QString message;    // status text of a refusal or failure
};

// Writes bitmap to path as a 1-bit BMP and appends path to the bitmap list unless it
// is listed already. The list's rules come first, so that a refusal leaves no stray
// file: a path the list file cannot hold in GBK is refused ("路径含有无法保存的字符!"),
// a full list with the list's own message. A failed write: "位图文件写入失败:" + name.
StoreOutcome storeInList(BitmapList& list, const QString& path, const MonoBitmap& bitmap);

// The first of name, name-2, name-3... for which neither name.bmp nor name.json exists
// in dir, letter case ignored.
QString freeBaseName(const QString& dir, const QString& name);

} // namespace panelix::compose
