// libFuzzer entry for the list file. Each input is a list file as some earlier run,
// another tool or a damaged disk left it. It must load, save and load again to the
// same list; the saved file must have the format's layout, hold every record that
// GBK can say byte for byte, and keep the old bytes beyond its last record.
#include "FuzzSupport.h"

#include "common/Gbk.h"
#include "library/ListFile.h"

#include <cstdint>

namespace {

using panelix::InputError;
using panelix::ListFile;

int u16(const QByteArray& f, qsizetype at) {
    return int(uchar(f[at])) | int(uchar(f[at + 1])) << 8;
}

// The records as the format lays them out: the bytes of each one that is whole.
QList<QByteArray> records(const QByteArray& f) {
    QList<QByteArray> out;
    qsizetype at = 2;
    for (int slot = 0; slot < ListFile::Slots; ++slot) {
        if (at + 2 > f.size() || at + 2 + u16(f, at) > f.size())
            break;
        out.append(f.mid(at + 2, u16(f, at)));
        at += 2 + u16(f, at);
    }
    return out;
}

// The text as it comes back after one trip through the file.
QString throughFile(const QString& text) {
    return panelix::fromGbk(panelix::toGbk(text));
}

QStringList throughFile(const QStringList& texts) {
    QStringList out;
    for (const QString& t : texts)
        out.append(throughFile(t));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace panelix::fuzz;
    const QByteArray original(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString oldPath = scratchPath("file.txt");
    const QString newPath = scratchPath("new.txt");
    putFile(oldPath, original);
    QFile::remove(newPath);

    ListFile first;
    InputError message;
    const QStringList list = first.loadList(oldPath, &message);
    FUZZ_CHECK(!message.failed());
    const QStringList store = first.listStore();
    FUZZ_CHECK(store.size() == ListFile::Slots);
    const int n = original.size() >= 2 ? int(qint16(quint16(u16(original, 0)))) : 0;
    FUZZ_CHECK(list.size() == qBound(0, n, ListFile::Slots));

    // Saved to a new file: N and 251 records, nothing more.
    FUZZ_CHECK(first.saveList(list, newPath, &message));
    const QByteArray saved = getFile(newPath);
    FUZZ_CHECK(saved.size() >= 2 && u16(saved, 0) == list.size());
    const QList<QByteArray> oldRecords = records(original);
    const QList<QByteArray> newRecords = records(saved);
    FUZZ_CHECK(newRecords.size() == ListFile::Slots);
    qsizetype layout = 2;
    for (int i = 0; i < ListFile::Slots; ++i) {
        layout += 2 + newRecords[i].size();
        // A record that GBK can say comes back exactly; another one as its text reads.
        const QByteArray was = i < oldRecords.size() ? oldRecords[i] : QByteArray();
        if (panelix::toGbk(panelix::fromGbk(was)) == was)
            FUZZ_CHECK(newRecords[i] == was);
        else
            FUZZ_CHECK(newRecords[i] == panelix::toGbk(store[i]));
    }
    FUZZ_CHECK(saved.size() == layout);

    // Loaded afresh: the same list and the same slots.
    ListFile second;
    FUZZ_CHECK(second.loadList(newPath, &message) == throughFile(list));
    FUZZ_CHECK(!message.failed());
    FUZZ_CHECK(second.listStore() == throughFile(store));

    // Saved over the old file: the same records, then the old bytes beyond them.
    FUZZ_CHECK(first.saveList(list, oldPath, &message));
    const QByteArray rewritten = getFile(oldPath);
    FUZZ_CHECK(rewritten.left(saved.size()) == saved);
    FUZZ_CHECK(rewritten.mid(saved.size()) == original.mid(saved.size()));
    ListFile third;
    FUZZ_CHECK(third.loadList(oldPath, &message) == throughFile(list));
    FUZZ_CHECK(!message.failed());
    return 0;
}
