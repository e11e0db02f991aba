#pragma once

// Private to panelix_library: what FileBrowser.cpp asks of FileBrowserPosix.cpp or
// FileBrowserWin.cpp.

#include "library/FileBrowser.h"

namespace panelix {

// How the file system compares paths: Windows ignores the letter case ("c:/" is "C:/").
Qt::CaseSensitivity pathCase();

// Sorts by the shown name without regard to case, then by exact name and bytes.
void sortBrowserEntries(QList<BrowserEntry>& entries);

} // namespace panelix
