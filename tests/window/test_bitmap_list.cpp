#include "WindowDriver.h"

#include <QRadioButton>

using namespace panelix;
using namespace panelix::test;

namespace {

using ListAndBrowser = WindowTest;

QByteArray showImage(int k) {
    return bytes({0x1D, 0x02, 0x00, 0x00, k, 0x0D});
}

} // namespace

// Selecting entry k asks the module for stored bitmap k at (0, 0), shows k in
// hexadecimal and previews the entry's own file.
TEST_F(ListAndBrowser, ASelectedEntryIsShownOnTheModuleAndPreviewed) {
    const Picture small = picture("small.bmp", 40, 10);
    const Picture wide = picture("wide.bmp", 160, 30);
    writePicture(small, data());
    writePicture(wide, data());
    start();
    for (int i = 0; i < 27; ++i)
        addFile(i % 2 == 0 ? "small.bmp" : "wide.bmp");
    ASSERT_EQ(listBox("List1")->count(), 27);
    EXPECT_TRUE(receivedAfterQuiet(*module1, 50).isEmpty()); // adding sends nothing

    struct Case {
        int row;
        const char* number;
    };
    QByteArray sent;
    for (const Case c :
         {Case{0, "00"}, Case{10, "0A"}, Case{15, "0F"}, Case{16, "10"}, Case{26, "1A"}, Case{1, "01"}}) {
        SCOPED_TRACE(c.row);
        clickRow("List1", c.row);
        sent += showImage(c.row);
        const Picture& shown = c.row % 2 == 0 ? small : wide;
        EXPECT_EQ(lineEdit("Text1")->text(), QString(c.number));
        EXPECT_EQ(status(), infoText(shown.width, shown.rowsCount()));
        EXPECT_TRUE(showsPicture(preview(), shown));
        EXPECT_EQ(window->currentBmpPath(), browserDir() + "/" + shown.name);
        ASSERT_TRUE(waitFor([&] { return module1->receivedCount() >= sent.size(); }));
    }
    EXPECT_EQ(receivedAfterQuiet(*module1), sent);
}

// Delete selects the neighbour: the entry that moved up, or the new last one. That
// selection counts as a click: its number, its show command and its preview.
TEST_F(ListAndBrowser, DeleteSelectsShowsAndPreviewsTheNeighbour) {
    const Picture p0 = picture("p0.bmp", 8, 3);
    const Picture p1 = picture("p1.bmp", 16, 5);
    const Picture p2 = picture("p2.bmp", 24, 7);
    for (const Picture& p : {p0, p1, p2})
        writePicture(p, data());
    start();
    for (const Picture& p : {p0, p1, p2})
        addFile(p.name);
    const QStringList all = items("List1");

    click("Command2"); // nothing selected: nothing changes
    EXPECT_EQ(items("List1"), all);
    EXPECT_EQ(listBox("List1")->currentRow(), -1);

    clickRow("List1", 2);
    click("Command2"); // the last one: its predecessor takes the selection
    EXPECT_EQ(items("List1"), all.mid(0, 2));
    EXPECT_EQ(listBox("List1")->currentRow(), 1);
    EXPECT_EQ(lineEdit("Text1")->text(), QString("01"));
    EXPECT_EQ(status(), infoText(16, 5));
    EXPECT_TRUE(showsPicture(preview(), p1));

    clickRow("List1", 0);
    click("Command2"); // the former entry 1 moves up into place 0 and is selected
    EXPECT_EQ(items("List1"), QStringList{all[1]});
    EXPECT_EQ(listBox("List1")->currentRow(), 0);
    EXPECT_EQ(lineEdit("Text1")->text(), QString("00"));
    EXPECT_TRUE(showsPicture(preview(), p1));

    click("Command2"); // the only one: nothing is left to select or show
    EXPECT_EQ(listBox("List1")->count(), 0);
    EXPECT_EQ(listBox("List1")->currentRow(), -1);

    EXPECT_EQ(receivedAfterQuiet(*module1), showImage(2) + showImage(1) + showImage(0) + showImage(0));
}

// The show command would land in the middle of the image data: during a transfer a
// click previews only; once the transfer has ended, clicks send again.
TEST_F(ListAndBrowser, AClickDuringATransferPreviewsButSendsNothing) {
    const Picture a = picture("a.bmp", 8, 1);
    const Picture b = picture("b.bmp", 16, 2);
    writePicture(a, data());
    writePicture(b, data());
    start(true, false, {.lineRate = true});
    addFile("a.bmp");
    addFile("b.bmp");
    const ExpectedImage image = expectedImage({a, b});

    click("Command8");
    ASSERT_TRUE(waitFor([&] { return window->session().port().running(); }));
    clickRow("List1", 1);
    EXPECT_EQ(lineEdit("Text1")->text(), QString("01"));
    EXPECT_EQ(status(), infoText(16, 2));
    EXPECT_TRUE(showsPicture(preview(), b));
    ASSERT_TRUE(waitFor([&] { return status() == QString("下载完成！"); }));
    const QByteArray header = bytes({0xA6, 0x68, 0x05, 0x04, 0x08});
    ASSERT_EQ(image.end, 1024 + 1 + 4);
    EXPECT_EQ(receivedAfterQuiet(*module1), syncTest() + header + image.image.left(image.end));

    clickRow("List1", 0);
    EXPECT_EQ(receivedAfterQuiet(*module1), syncTest() + header + image.image.left(image.end) + showImage(0));
}

// With the port closed a click still shows the number and the preview; the skipped
// show command is not worth a message that the preview would hide at once.
TEST_F(ListAndBrowser, AClickWithThePortClosedSendsNothingAndSaysNothingOfThePort) {
    const Picture a = picture("a.bmp", 24, 4);
    writePicture(a, data());
    start(true, false);
    addFile("a.bmp", 2);
    child<QRadioButton>("Option2")->click(); // port 2 has no device: the port is closed
    ASSERT_FALSE(window->session().port().isOpen());
    ASSERT_EQ(status(), QString("串口COM2打开失败:设备不存在!"));

    clickRow("List1", 1);
    EXPECT_EQ(lineEdit("Text1")->text(), QString("01"));
    EXPECT_EQ(status(), infoText(24, 4));
    EXPECT_TRUE(showsPicture(preview(), a));
    EXPECT_TRUE(receivedAfterQuiet(*module1, 200).isEmpty());

    // A command typed into the console does say so.
    lineEdit("Text2")->setText("1D030D");
    click("Command13");
    EXPECT_EQ(status(), QString("串口未打开!"));
    EXPECT_TRUE(receivedAfterQuiet(*module1, 100).isEmpty());
}

// A file in the browser that cannot be read as a picture clears the preview, and
// adding it is still possible (the download refuses it).
TEST_F(ListAndBrowser, TheBrowserPreviewFollowsTheClickedFile) {
    const Picture wide = picture("Wide.BMP", 640, 481);
    writePicture(wide, data());
    ASSERT_TRUE(writeFile(dataFile("short.bmp"), wide.file().left(100)));
    start();
    EXPECT_EQ(items("File1"), QStringList({"short.bmp", "Wide.BMP"}));
    clickFile("Wide.BMP");
    EXPECT_EQ(status(), infoText(640, 481));
    EXPECT_TRUE(showsPicture(preview(), wide));
    EXPECT_EQ(window->currentBmpPath(), browserDir() + "/Wide.BMP");
    clickFile("short.bmp");
    // Cut short: its rows cannot be read, as for a file that cannot be opened.
    EXPECT_EQ(status(), QString("位图文件无法打开:short.bmp"));
    EXPECT_TRUE(preview().isNull());
    EXPECT_TRUE(receivedAfterQuiet(*module1, 50).isEmpty());
}
