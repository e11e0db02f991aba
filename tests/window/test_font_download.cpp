#include "WindowDriver.h"

using namespace panelix;
using namespace panelix::test;

namespace {

using FontDownload = WindowTest;

constexpr int Sent = 262144;   // the bytes of the font the module is sent
constexpr int Buffer = 266240; // the bytes read from the file

QByteArray fontFile(int size, quint32 seed) {
    QByteArray out(size, '\0');
    quint32 x = seed * 2654435761u + 1;
    for (char& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x >> 24);
    }
    return out;
}

const QByteArray header = bytes({0xA6, 0x60, 0x00, 0x00, 0x08});

} // namespace

// The header goes out at once; the font waits for the module's first 0xAA, and then
// exactly the first 256 KB of a larger file follow, nothing of its rest.
TEST_F(FontDownload, AfterTheGoOnTheModuleGetsTheFirst256KBOfTheFile) {
    const QByteArray font = fontFile(Sent + 7000, 1);
    ASSERT_TRUE(writeFile(dataFile("hzk16"), font));
    const Picture shown = picture("shown.bmp", 32, 8);
    writePicture(shown, data());
    start(true, false, {.answerHeaders = false});
    fastLine();
    clickFile("shown.bmp");
    ASSERT_FALSE(preview().isNull());

    click("Command9");
    EXPECT_EQ(status(), QString("正在下载..."));
    EXPECT_TRUE(preview().isNull());
    ASSERT_TRUE(waitFor([&] { return module1->receivedCount() >= 3 + 5; }, 3000));
    EXPECT_EQ(receivedAfterQuiet(*module1, 300), syncTest() + header);
    EXPECT_TRUE(child("Command7")->isEnabled()); // armed, not yet running

    module1->send(bytes({0xAA}));
    ASSERT_TRUE(waitFor([&] { return window->session().port().running(); }));
    EXPECT_FALSE(child("Command13")->isEnabled());
    ASSERT_TRUE(waitFor([&] { return status() == QString("下载完成！"); }, 60000)) << status().toStdString();
    const QByteArray received = receivedAfterQuiet(*module1);
    EXPECT_EQ(received.size(), 3 + header.size() + Sent);
    EXPECT_TRUE(received == syncTest() + header + font.left(Sent))
        << "the data differ from the file's first 256 KB";
    EXPECT_TRUE(window->session().port().downloadImage() == font.left(Buffer));
    EXPECT_TRUE(child("Command13")->isEnabled());
}

// A short file goes out with zeros after its end, up to the full 256 KB.
TEST_F(FontDownload, AShortFileIsFollowedByZeros) {
    const QByteArray font = fontFile(5000, 2);
    ASSERT_TRUE(writeFile(dataFile("hzk16"), font));
    start(true, false, {.errorAfterDataBytes = 12000}); // the module stops the data early
    fastLine();
    click("Command9");
    ASSERT_TRUE(waitFor([&] { return status() == QString("通信出错！"); }));
    EXPECT_EQ(module1->received().left(8), syncTest() + header);
    EXPECT_EQ(module1->dataBytes(), font + QByteArray(7000, '\0'));
    EXPECT_TRUE(window->session().port().downloadImage() == font + QByteArray(Buffer - 5000, '\0'));
    EXPECT_EQ(window->session().port().transferTotal(), Sent);
}

// The file is found whatever the letter case of its name.
TEST_F(FontDownload, AnUpperCaseNameIsTheSameFile) {
    const QByteArray font = fontFile(Sent, 3);
    ASSERT_TRUE(writeFile(dataFile("HZK16"), font));
    start(true, false, {.errorAfterDataBytes = 4096});
    fastLine();
    click("Command9");
    ASSERT_TRUE(waitFor([&] { return status() == QString("通信出错！"); }));
    EXPECT_EQ(module1->received().left(8), syncTest() + header);
    EXPECT_EQ(module1->dataBytes(), font.left(4096));
    EXPECT_TRUE(window->session().port().downloadImage() == font + QByteArray(Buffer - Sent, '\0'));
    EXPECT_EQ(window->session().port().transferTotal(), Sent);
}

// No font file, or a directory of that name: nothing is sent, not even the header.
TEST_F(FontDownload, WithoutAFontFileNothingIsSent) {
    const Picture shown = picture("shown.bmp", 32, 8);
    writePicture(shown, data());
    start();
    clickFile("shown.bmp");
    click("Command9");
    EXPECT_EQ(status(), QString("找不到字库文件hzk16!"));
    EXPECT_TRUE(preview().isNull());
    EXPECT_FALSE(window->session().port().pacing());

    ASSERT_TRUE(QDir().mkpath(dataFile("hzk16")));
    click("Command9");
    EXPECT_EQ(status(), QString("找不到字库文件hzk16!"));
    EXPECT_TRUE(receivedAfterQuiet(*module1, 300).isEmpty());
    EXPECT_FALSE(window->session().port().pacing());
}
