#include "WindowDriver.h"

using namespace panelix;
using namespace panelix::test;

namespace {

using BitmapDownload = WindowTest;

const QString done = QStringLiteral("下载完成！");

} // namespace

// From the browser to the module: the pictures are found, previewed, listed in the
// order they were added, and the module gets the header and exactly the image the
// pictures' rows make; file.add and the list file hold what they must.
TEST_F(BitmapDownload, BrowsedPicturesReachTheModuleAsTheirPackedImage) {
    const QString pics = data() + "/pics";
    QDir().mkpath(pics + "/old.bmp");                  // a directory, not a picture
    const Picture a = picture("A.BMP", 100, 20);       // rows padded to 16 bytes, 13 used
    const Picture b = picture("b.Bmp", 33, -7);        // stored top row first
    const Picture c = picture("c.bmp", 600, 300, 108); // 300 rows, after a longer info header
    const Picture d = picture("d.bmp", 320, 240);      // runs across position 32768
    for (const Picture& p : {a, b, c, d})
        writePicture(p, pics);
    ASSERT_TRUE(writeFile(pics + "/notes.txt", "not a picture"));
    ASSERT_TRUE(writeFile(pics + "/e.bmp.bak", a.file()));

    start();
    fastLine();
    enterDir("pics");
    EXPECT_EQ(items("File1"), QStringList({"A.BMP", "b.Bmp", "c.bmp", "d.bmp"}));
    EXPECT_EQ(listBox("File1")->currentRow(), -1);

    for (const Picture& p : {a, b, c, d}) {
        SCOPED_TRACE(p.name.toStdString());
        clickFile(p.name);
        EXPECT_EQ(status(), infoText(p.width, p.rowsCount()));
        EXPECT_TRUE(showsPicture(preview(), p));
    }
    // Added out of browser order: the list's order numbers the bitmaps.
    const QList<Picture> order = {d, a, c, b};
    for (const Picture& p : order)
        addFile(p.name);
    QStringList paths;
    for (const Picture& p : order)
        paths.append(browserDir() + "/pics/" + p.name);
    ASSERT_EQ(items("List1"), paths);
    EXPECT_TRUE(module1->received().isEmpty());

    const ExpectedImage want = expectedImage(order);
    ASSERT_EQ(want.end, 1024 + 9600 + 260 + 22500 + 35);
    EXPECT_EQ(want.image.mid(24, 8), bytes({75, 0x2C, 0x84, 0x2A, 0x00, 0, 0, 0x01}));
    click("Command8");
    EXPECT_EQ(status(), QString("正在下载..."));
    EXPECT_TRUE(preview().isNull());
    ASSERT_TRUE(waitFor([&] { return status() == done; }, 20000)) << status().toStdString();

    // E = 33419 = bank 1, page 2, low 0x8B: the bank byte goes out as 1 + 8.
    const QByteArray header = bytes({0xA6, 0x68, 0x8B, 0x02, 0x09});
    EXPECT_EQ(receivedAfterQuiet(*module1), syncTest() + header + want.image.left(want.end));
    EXPECT_EQ(module1->dataBytes(), want.image.left(want.end));
    EXPECT_EQ(status(), done);
    EXPECT_EQ(readFile(dataFile("file.add")), want.image);
    EXPECT_EQ(readFile(dataFile("file.txt")), expectedListFile(paths));
}

// Re-order empties the list; Restore brings back the list of the last download,
// not the edits made since.
TEST_F(BitmapDownload, RestoreAfterReorderBringsBackTheLastDownloadedList) {
    const Picture one = picture("one.bmp", 16, 2);
    const Picture two = picture("two.bmp", 24, 3);
    writePicture(one, data());
    writePicture(two, data());
    start();
    addFile("two.bmp");
    addFile("one.bmp", 2);
    const QStringList downloaded = items("List1");
    ASSERT_EQ(downloaded.size(), 3);
    click("Command8");
    ASSERT_TRUE(waitFor([&] { return status() == done; }));
    const QByteArray listFile = readFile(dataFile("file.txt"));
    EXPECT_EQ(listFile, expectedListFile(downloaded));

    click("Command3");
    EXPECT_EQ(listBox("List1")->count(), 0);
    addFile("two.bmp");
    EXPECT_EQ(items("List1"), QStringList{downloaded[0]});
    click("Command4");
    EXPECT_EQ(items("List1"), downloaded);
    EXPECT_EQ(listBox("List1")->currentRow(), -1);
    EXPECT_EQ(readFile(dataFile("file.txt")), listFile);
}

// A list file from an earlier run keeps its records beyond the saved entries and the
// bytes after its last record: only the entries and N change.
TEST_F(BitmapDownload, TheSavedListKeepsTheOlderRecordsBehindItsEntries) {
    QStringList old;
    for (const char* n : {"p0.bmp", "p1.bmp", "p2.bmp", "p3.bmp", "p4.bmp"}) {
        writePicture(picture(n, 8, 1), data());
        old.append(browserDir() + "/" + n);
    }
    QByteArray file = expectedListFile(old);
    file.append("old tail");
    ASSERT_TRUE(writeFile(dataFile("File.TXT"), file));

    start();
    ASSERT_EQ(items("List1"), old);
    clickRow("List1", 1);
    click("Command2");
    clickRow("List1", 0);
    click("Command2");
    const QStringList kept = {old[2], old[3], old[4]};
    ASSERT_EQ(items("List1"), kept);
    click("Command8");
    ASSERT_TRUE(waitFor([&] { return status() == done; }));

    // Records 0 to 2 are the kept entries; records 3 and 4 still hold the old texts.
    QByteArray want = expectedListFile({old[2], old[3], old[4], old[3], old[4]});
    want[0] = 3;
    want.append("old tail");
    EXPECT_EQ(readFile(dataFile("File.TXT")), want);
    EXPECT_EQ(QDir(data()).entryList({"*.txt"}, QDir::Files), QStringList{"File.TXT"});
}

// A file that is not a monochrome BMP refuses the whole download: nothing goes out,
// file.add keeps its old content, the list is saved all the same.
TEST_F(BitmapDownload, AFileThatIsNoMonochromeBmpRefusesTheDownload) {
    writePicture(picture("good.bmp", 16, 4), data());
    ASSERT_TRUE(writeFile(dataFile("fake.bmp"), QByteArray("this is text, not a picture")));
    ASSERT_TRUE(writeFile(dataFile("file.add"), QByteArray("previous image")));
    start();
    addFile("good.bmp");
    clickFile("fake.bmp");
    EXPECT_EQ(status(), QString("不是单色BMP位图:fake.bmp"));
    EXPECT_TRUE(preview().isNull());
    click("Command1");
    ASSERT_EQ(listBox("List1")->count(), 2);

    clickFile("good.bmp");
    ASSERT_FALSE(preview().isNull());
    click("Command8");
    EXPECT_EQ(status(), QString("不是单色BMP位图:fake.bmp"));
    EXPECT_TRUE(preview().isNull());
    EXPECT_TRUE(receivedAfterQuiet(*module1, 300).isEmpty());
    EXPECT_FALSE(window->session().port().pacing());
    EXPECT_EQ(readFile(dataFile("file.add")), QByteArray("previous image"));
    EXPECT_EQ(readFile(dataFile("file.txt")), expectedListFile(items("List1")));
}

// 0x40001 bytes are accepted, one more byte is refused: nothing is sent then, but
// file.add holds the image that was built.
TEST_F(BitmapDownload, TheModuleTakesAtMost0x40001Bytes) {
    writePicture(picture("full.bmp", 640, 481), data());
    writePicture(picture("rest.bmp", 640, 378), data());
    writePicture(picture("dot.bmp", 8, 1), data());
    // 1024 + 6 x 38480 + 30240 + 1 = 0x40001. The module stops the data early.
    start(true, false, {.errorAfterDataBytes = 2048});
    addFile("full.bmp", 6);
    addFile("rest.bmp");
    addFile("dot.bmp");
    click("Command8");
    EXPECT_EQ(status(), QString("正在下载..."));
    ASSERT_TRUE(waitFor([&] { return status() == QString("通信出错！"); }));
    const QByteArray accepted = receivedAfterQuiet(*module1);
    EXPECT_EQ(accepted.left(8), syncTest() + bytes({0xA6, 0x68, 0x01, 0x00, 0x10}));
    QList<Picture> list(6, picture("full.bmp", 640, 481));
    list << picture("rest.bmp", 640, 378) << picture("dot.bmp", 8, 1);
    const ExpectedImage fits = expectedImage(list);
    ASSERT_EQ(fits.end, 0x40001);
    EXPECT_EQ(module1->dataBytes(), fits.image.left(2048));
    EXPECT_EQ(readFile(dataFile("file.add")), fits.image);

    module1->clear();
    addFile("dot.bmp");
    list << picture("dot.bmp", 8, 1);
    click("Command8");
    EXPECT_EQ(status(), QString("位图总量超过256KB,无法下载!"));
    EXPECT_TRUE(preview().isNull());
    EXPECT_TRUE(receivedAfterQuiet(*module1, 300).isEmpty());
    EXPECT_EQ(readFile(dataFile("file.add")), expectedImage(list).image);
    EXPECT_EQ(readFile(dataFile("file.txt")), expectedListFile(items("List1")));
}

// Seven full-size bitmaps: far beyond 256 KB, but the image still fits the buffer.
TEST_F(BitmapDownload, SevenFullScreensAreBuiltButNotSent) {
    const Picture full = picture("big.bmp", 640, 481);
    writePicture(full, data());
    start();
    addFile("big.bmp", 7);
    click("Command8");
    EXPECT_EQ(status(), QString("位图总量超过256KB,无法下载!"));
    EXPECT_TRUE(receivedAfterQuiet(*module1, 300).isEmpty());
    const ExpectedImage built = expectedImage(QList<Picture>(7, full));
    EXPECT_EQ(built.end, 1024 + 7 * 38480);
    EXPECT_EQ(readFile(dataFile("file.add")), built.image);
    EXPECT_FALSE(window->session().port().pacing());
}

// A refused download must not leave its image to a late 0xAA: only bytes that the
// header still waiting at the module announced may follow it.
TEST_F(BitmapDownload, ALateGoOnAfterARefusalNeverSendsTheRefusedImage) {
    const Picture small = picture("small.bmp", 8, 1);
    writePicture(small, data());
    writePicture(picture("big.bmp", 640, 481), data());
    start(true, false, {.answerHeaders = false});
    fastLine(); // bounds the time of a wrongly sent image
    addFile("small.bmp");
    click("Command8");
    const QByteArray header = bytes({0xA6, 0x68, 0x01, 0x04, 0x08});
    ASSERT_EQ(receivedAfterQuiet(*module1), syncTest() + header);

    addFile("big.bmp", 7);
    click("Command8");
    ASSERT_EQ(status(), QString("位图总量超过256KB,无法下载!"));
    module1->send(bytes({0xAA}));
    waitFor([] { return false; }, 300);
    const QByteArray after = receivedAfterQuiet(*module1).mid(syncTest().size() + header.size());
    const QByteArray announced = expectedImage({small}).image.left(1025);
    EXPECT_LE(after.size(), announced.size());
    EXPECT_TRUE(after == announced.left(after.size())) << "bytes sent after the refusal: " << after.size();
}
