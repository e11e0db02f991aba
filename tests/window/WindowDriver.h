#pragma once

#include "../shell/WindowFixture.h"
#include "support/EventLoop.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTest>
#include <QTimer>

#include <functional>

namespace panelix::test {


inline QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int v : list)
        out.append(char(v));
    return out;
}

// The connection test a download sends first, to make sure the module listens.
inline QByteArray syncTest() {
    return bytes({0x1D, 0x0C, 0x0D});
}

// A picture as the test writes it: stored rows exactly as in the file.
struct Picture {
    QString name;
    int width = 8;
    int height = 1; // negative: stored top row first
    int infoHeaderSize = 40;
    QByteArray rows;

    int rowsCount() const { return height < 0 ? -height : height; }
    int stride() const { return (width + 31) / 32 * 4; }
    int widthBytes() const { return (width + 7) / 8; }
    // Byte k of picture row r (row 0 at the top), as the file stores it.
    quint8 byteAt(int r, int k) const {
        const int stored = height < 0 ? r : rowsCount() - 1 - r;
        return quint8(rows[stored * stride() + k]);
    }
    QByteArray file() const {
        BmpLayout bmp;
        bmp.width = width;
        bmp.height = height;
        bmp.infoHeaderSize = infoHeaderSize;
        bmp.rows = rows;
        return makeBmp(bmp);
    }
};

inline Picture picture(const QString& name, int width, int height, int infoHeaderSize = 40) {
    Picture p{name, width, height, infoHeaderSize, {}};
    p.rows = patternRows(width, p.rowsCount(), width * 7 + p.rowsCount() + int(name.size()));
    return p;
}

// The download image of a list of pictures, worked out from their stored rows:
// the 1024-byte directory, then each picture's rows top row first without padding.
struct ExpectedImage {
    QByteArray image; // all 524,288 bytes, as file.add holds them
    qint64 end = 0;   // E: the bytes the module is sent
};

inline ExpectedImage expectedImage(const QList<Picture>& pictures) {
    ExpectedImage out;
    out.image = QByteArray(524288, '\0');
    auto put = [&](qint64 at, int v) { out.image[at] = char(v & 0xFF); };
    auto putAddress = [&](qint64 at, qint64 position) {
        put(at, int(position % 256));
        put(at + 1, int(position / 256 % 128));
        put(at + 2, int(position / 32768));
    };
    qint64 p = 1024;
    for (int i = 0; i < pictures.size(); ++i) {
        const Picture& pic = pictures[i];
        const qint64 entry = 8 * (i + 1);
        put(entry, pic.widthBytes());
        put(entry + 1, pic.rowsCount() & 0xFF);
        putAddress(entry + 2, p);
        put(entry + 7, pic.rowsCount() >> 8);
        for (int r = 0; r < pic.rowsCount(); ++r)
            for (int k = 0; k < pic.widthBytes(); ++k)
                put(p++, pic.byteAt(r, k));
    }
    put(0, int(pictures.size()));
    putAddress(1, p);
    out.end = p;
    return out;
}

// The list file of a run that started without one: N, the entries, then empty records.
inline QByteArray expectedListFile(const QStringList& entries) {
    QByteArray out;
    auto put16 = [&](int v) {
        out.append(char(v & 0xFF));
        out.append(char((v >> 8) & 0xFF));
    };
    put16(int(entries.size()));
    for (const QString& e : entries) {
        const QByteArray text = e.toLatin1();
        put16(int(text.size()));
        out.append(text);
    }
    for (qsizetype i = entries.size(); i < 251; ++i)
        put16(0);
    return out;
}

// The main window on pseudo-terminals, shown, with the data directory prepared before
// start-up, and the user's gestures on its controls.
struct WindowTest : ::testing::Test, WindowOnPtys {
    QString data() const { return dataDir.filePath("dispkit"); }
    QString dataFile(const QString& name) const { return data() + "/" + name; }

    void SetUp() override { QDir().mkpath(data()); }

    void start(bool port1 = true, bool port2 = false, ScriptedModule::Config config = {}) {
        open(port1, port2, config);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // The port models the line's byte time; bulk transfers would take minutes at
    // 19,200 baud, so cases about their content run the line faster.
    void fastLine() { ASSERT_TRUE(window->session().port().setLineSettings("921600,n,8,1")); }

    void writePicture(const Picture& p, const QString& dir) {
        ASSERT_TRUE(writeFile(dir + "/" + p.name, p.file()));
    }

    QListWidget* listBox(const char* name) const { return child<QListWidget>(name); }
    QLineEdit* lineEdit(const char* name) const { return child<QLineEdit>(name); }
    QComboBox* combo() const { return child<QComboBox>("Combo1"); }
    QPixmap preview() const { return child<QLabel>("Image1")->pixmap(); }
    QStringList items(const char* name) const {
        QStringList out;
        for (int i = 0; i < listBox(name)->count(); ++i)
            out.append(listBox(name)->item(i)->text());
        return out;
    }
    QString browserDir() const { return QDir::cleanPath(QFileInfo(data()).absoluteFilePath()); }

    // A mouse click on a row of a list box, scrolled into view first.
    void clickRow(const char* name, int row) {
        QListWidget* box = listBox(name);
        QListWidgetItem* item = box->item(row);
        ASSERT_NE(item, nullptr) << name << " row " << row;
        box->scrollToItem(item);
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->visualItemRect(item).center());
    }
    void clickFile(const QString& fileName) {
        const QList<QListWidgetItem*> found = listBox("File1")->findItems(fileName, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << fileName.toStdString();
        clickRow("File1", listBox("File1")->row(found.first()));
    }
    // Picks a file in the browser and presses "添加" times times.
    void addFile(const QString& fileName, int times = 1) {
        clickFile(fileName);
        for (int i = 0; i < times; ++i)
            click("Command1");
    }
    // Enter on a subdirectory of Dir1, as a user opens it.
    void enterDir(const QString& name) {
        auto* dir = listBox("Dir1");
        for (int i = 0; i < dir->count(); ++i) {
            if (dir->item(i)->text().trimmed() == name) {
                dir->setCurrentRow(i);
                QTest::keyClick(dir, Qt::Key_Return);
                return;
            }
        }
        ADD_FAILURE() << "no directory " << name.toStdString() << " in Dir1";
    }

    // Everything the module has received once the line has been quiet for a while.
    QByteArray receivedAfterQuiet(ScriptedModule& module, int quietMs = 150) {
        qint64 seen = -1;
        while (seen != module.receivedCount()) {
            seen = module.receivedCount();
            waitFor([] { return false; }, quietMs);
        }
        return module.received();
    }
};

// "位图宽度:" W "      位图高度:" H.
inline QString infoText(int width, int height) {
    return QString("位图宽度:%1      位图高度:%2").arg(width).arg(height);
}

// Does the pixmap show the picture's pixels, bit 1 white and bit 0 black as its
// colour table says?
inline ::testing::AssertionResult showsPicture(const QPixmap& pixmap, const Picture& pic) {
    if (pixmap.isNull())
        return ::testing::AssertionFailure() << "no picture";
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_RGB32);
    if (image.width() != pic.width || image.height() != pic.rowsCount())
        return ::testing::AssertionFailure() << "size " << image.width() << "x" << image.height();
    for (int y = 0; y < pic.rowsCount(); ++y) {
        for (int x = 0; x < pic.width; ++x) {
            const bool bit = (pic.byteAt(y, x / 8) >> (7 - x % 8)) & 1;
            const QRgb want = bit ? 0xFFFFFF : 0x000000;
            if ((image.pixel(x, y) & 0xFFFFFF) != want)
                return ::testing::AssertionFailure() << "pixel " << x << "," << y;
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace panelix::test
