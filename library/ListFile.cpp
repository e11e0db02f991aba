#include "library/ListFile.h"

#include "common/DataDir.h"
#include "common/Gbk.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace panelix {

namespace {

// Translated when used: the window's language is installed after start-up.
QString saveFailed() {
    return QCoreApplication::translate("panelix::ListFile", "位图列表保存失败!");
}

QString loadFailed() {
    return QCoreApplication::translate("panelix::ListFile", "位图列表读取失败!");
}

// The longest file a reader can need: N plus 251 records of the largest length.
constexpr qint64 kMaxListBytes = 2 + qint64(ListFile::Slots) * (2 + 0xFFFF);

void appendU16(QByteArray& out, int value) {
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

int u16At(const QByteArray& data, qsizetype at) {
    return int(quint8(data[at])) | (int(quint8(data[at + 1])) << 8);
}

void setMessage(QString* message, const QString& text) {
    if (message)
        *message = text;
}

} // namespace

ListFile::ListFile() {
    for (int i = 0; i < Slots; ++i)
        store_.append(QString());
}

bool ListFile::SaveList(const QStringList& entries, const QString& path, QString* message) {
    if (entries.size() > Slots) {
        setMessage(message, saveFailed());
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
            setMessage(message, saveFailed());
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
            setMessage(message, saveFailed());
            return false;
        }
        // Refuse rather than drop the old tail silently when it cannot be read.
        QByteArray previous;
        if (!readFileHead(path, old.size(), &previous)) {
            setMessage(message, saveFailed());
            return false;
        }
        if (previous.size() > out.size())
            out.append(previous.mid(out.size()));
    }

    if (!writeFileAtomically(path, out)) {
        setMessage(message, saveFailed());
        return false;
    }
    store_ = store;
    return true;
}

QStringList ListFile::LoadList(const QString& path, QString* message) {
    QByteArray data;
    if (QFileInfo::exists(path)) {
        if (!readFileHead(path, kMaxListBytes, &data)) {
            setMessage(message, loadFailed());
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
