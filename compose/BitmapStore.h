#pragma once

#include "bitmap/MonoBitmap.h"
#include "common/InputError.h"
#include "library/BitmapList.h"

#include <QString>

namespace panelix::compose {

struct StoreOutcome {
    bool ok = false;
    bool added = false; // false when the path was listed already
    InputError error;   // a refusal or failure
};

// Writes bitmap to path as a 1-bit BMP and appends path to the bitmap list unless it
// is listed already. The list's rules come first, so that a refusal leaves no stray
// file: a path the list file cannot hold in GBK is refused (PathNotStorable), a full
// list as the list refuses it (ListFull). A failed write: BitmapNotWritten.
StoreOutcome storeInList(BitmapList& list, const QString& path, const MonoBitmap& bitmap);

// The first of name, name-2, name-3... for which neither name.bmp nor name.json exists
// in dir, letter case ignored.
QString freeBaseName(const QString& dir, const QString& name);

} // namespace panelix::compose
