#include "library/ListFile.h"

#include "common/DataDir.h"
#include "common/Gbk.h"

#include <QFileInfo>

namespace panelix {

namespace {

// The longest file a reader can need: N plus 251 records of the largest length.
constexpr qint64 kMaxListBytes = 2 + qint64(ListFile::Slots) * (2 + 0xFFFF);

void appendU16(QByteArray& out, int value) {
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

int u16At(const QByteArray& data, qsizetype at) {
    return int(quint8(data[at])) | (int(quint8(data[at + 1])) << 8);
}

void setError(InputError* error, InputReason reason, const QString& path) {
    if (error)
        *error = inputError(reason, path);
}

} // namespace

ListFile::ListFile() {
    for (int i = 0; i < Slots; ++i)
        store_.append(QString());
}

bool ListFile::saveList(const QStringList& entries, const QString& path, InputError* error) {
    if (entries.size() > Slots) {
        setError(error, InputReason::ListNotSaved, path);
        return false;
    }

    QStringList store = store_;
    for (qsizetype i = 0; i < entries.size(); ++i)
        store[i] = entries[i];

    QByteArray out;
    appendU16(out, int(entries.size()));
    for (const QString& text : store) {
        const QByteArray bytes = toGbk(text);
        if (bytes.size() > 0xFFFF) {
            // L could not say this length; a record that lies about it would shift
            // every record after it.
            setError(error, InputReason::ListNotSaved, path);
            return false;
        }
        appendU16(out, int(bytes.size()));
        out.append(bytes);
    }

    const QFileInfo old(path);
    if (old.exists()) {
        // A file longer than any list could need was not written as a list file:
        // copying its tail would stall the window for nothing.
        if (!old.isFile() || old.size() > kMaxListBytes) {
            setError(error, InputReason::ListNotSaved, path);
            return false;
        }
        // Refuse rather than drop the old tail silently when it cannot be read.
        QByteArray previous;
        if (!readFileHead(path, old.size(), &previous)) {
            setError(error, InputReason::ListNotSaved, path);
            return false;
        }
        if (previous.size() > out.size())
            out.append(previous.mid(out.size()));
    }

    if (!writeFileAtomically(path, out)) {
        setError(error, InputReason::ListNotSaved, path);
        return false;
    }
    store_ = store;
    return true;
}

QStringList ListFile::loadList(const QString& path, InputError* error) {
    QByteArray data;
    if (QFileInfo::exists(path)) {
        if (!readFileHead(path, kMaxListBytes, &data)) {
            setError(error, InputReason::ListNotRead, path);
            return {};
        }
    }

    const int n = data.size() >= 2 ? int(qint16(quint16(u16At(data, 0)))) : 0;
    qsizetype at = 2;
    for (int slot = 0; slot < Slots; ++slot) {
        QString text;
        if (at + 2 <= data.size()) {
            const int length = u16At(data, at);
            if (at + 2 + length <= data.size()) {
                text = fromGbk(data.mid(at + 2, length));
                at += 2 + length;
            } else {
                at = data.size();
            }
        }
        store_[slot] = text;
    }

    return store_.mid(0, qBound(0, n, Slots));
}

QString listFilePath(const QString& dataDir) {
    return findDataFile(dataDir, QStringLiteral("file.txt"));
}

} // namespace panelix
