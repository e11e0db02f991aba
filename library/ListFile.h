#pragma once

#include "common/InputError.h"

#include <QString>
#include <QStringList>

namespace panelix {

// The list file keeps the bitmap list across runs:
//   N (signed 16-bit, little-endian), then 251 records of
//   L (unsigned 16-bit, little-endian) + L bytes of GBK text.
// ListStore is the staging copy between the list and the file. Records beyond the
// saved entries are written from it, so they keep the texts of earlier loads and
// saves of this run; nothing ever empties it.
class ListFile {
public:
    static constexpr int Slots = 251;

    ListFile();

    const QStringList& listStore() const { return store_; }

    // Writes N and all 251 records as one complete new file. Bytes of the old file
    // beyond the new records are kept, because the file has always been rewritten
    // in place without being shortened. ListStore takes the entries only when the
    // file was written. False and ListNotSaved on any failure, including more
    // than 251 entries (the file must never claim more records than it holds).
    bool saveList(const QStringList& entries, const QString& path, InputError* error);

    // Reads the list. A missing file is an empty list without an error and empties
    // all slots; an unreadable one gives an empty list, ListNotRead and leaves
    // ListStore as it was. N above 251 counts as 251, N below 1 as none; records cut
    // off by the end of the file read as empty texts.
    QStringList loadList(const QString& path, InputError* error);

private:
    QStringList store_;
};

// The list file of a data directory, found whatever the letter case of its name.
QString listFilePath(const QString& dataDir);

} // namespace panelix
