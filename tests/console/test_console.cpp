#include "console/CommandConsole.h"

#include <gtest/gtest.h>

namespace panelix {
namespace {

// What the window does on a Combo1 Click: select, empty the edit text, show CommandHex.
QString choose(CommandConsole& console, int index) {
    console.select(index, CommandConsole::captions().at(index));
    console.preview(QString());
    return console.commandHex();
}

TEST(CommandConsole, SelectionAndPreview) {
    const QStringList templates = {"1D010D", "1D410D", "1D020D", "1D030D", "1D040D",
                                   "1D050D", "1D060D", "1D070D", "1D080D"};
    for (int i = 0; i < CommandConsole::CommandCount; ++i) {
        CommandConsole console;
        const QString caption = CommandConsole::captions().at(i);
        EXPECT_EQ(console.select(i, caption), QStringLiteral("请输入命令--") + caption);
        EXPECT_EQ(console.preview(""), templates.at(i));
        EXPECT_EQ(console.commandHex(), templates.at(i));
    }
    EXPECT_EQ(CommandConsole::captions().at(1), QStringLiteral("显示大汉字(XY汉):"));

    const struct {
        int kind;
        QString typed, commandHex;
    } cases[] = {
        {0, "0a10汉字", "1D010A10BABAD7D60D"}, {0, "0A10 A", "1D010A1020410D"},   {0, "0A", "1D010A0D"},
        {1, "汉字0a汉", "1D41汉字0ABABA0D"}, // X and Y are never converted
        {0, "0A10ก😀", "1D010A103F3F0D"},     // no GBK code; a surrogate pair is one character
        {0, "0A10\t\t", "1D010A1009090D"},   // two digits per byte keep the bytes in step
        {2, "0a0b01", "1D020A0B010D"},         {4, "00001020", "1D04000010200D"}, {6, "汉x", "1D06汉X0D"},
    };
    for (const auto& c : cases) {
        CommandConsole console;
        EXPECT_EQ(choose(console, c.kind), CommandConsole::templateFor(c.kind));
        EXPECT_EQ(console.preview(c.typed), c.commandHex) << c.kind << ' ' << c.typed.toStdString();
    }
}

TEST(CommandConsole, PrefixComesFromSelectionOrLastSend) {
    CommandConsole console;
    EXPECT_EQ(console.preview("0a10汉"), "0A10BABA0D"); // nothing chosen yet: kind 0, no prefix
    choose(console, 0);
    console.preview("0a10汉");
    EXPECT_EQ(choose(console, 0), "1D010D");
    const QString inverted = console.invert(console.preview("0A10"));
    EXPECT_EQ(console.preview("0A11"), "1D010A110D"); // inverted but not sent: lost
    ASSERT_TRUE(console.send(inverted).valid);
    EXPECT_EQ(console.preview("0a12汉"), "1D810A12BABA0D");
    console.send("1d8");
    EXPECT_EQ(console.preview("0A10"), "1D80A100D");
    choose(console, 0);
    EXPECT_EQ(console.preview("0A11"), "1D010A110D");
}

TEST(CommandConsole, SendOnlyValidHex) {
    const std::pair<QString, QByteArray> cases[] = {
        {"1d020a0b010d", QByteArray::fromHex("1D020A0B010D")},
        {"AABBCC", "\xAA\xBB\xCC"},
        {"1d03", {}},
        {"1D0300D", {}},
        {"1D 30D", {}},
        {"1D:30D", {}},
        {"1D0G0D", {}},
        {"1D03汉D", {}},
        {"1D😀0D", {}},
        {"1d03\uFB00", {}}, // the ligature ﬀ is no pair of hex digits
    };
    for (const auto& [text, bytes] : cases) {
        CommandConsole console;
        choose(console, 3);
        const auto result = console.send(text);
        EXPECT_EQ(result.valid, !bytes.isEmpty()) << text.toStdString();
        EXPECT_EQ(result.bytes, bytes);
        const QString upper = text == QString("1d03\uFB00") ? QString("1D03\uFB00") : text.toUpper();
        EXPECT_EQ(result.commandHex, upper);
        EXPECT_EQ(console.commandHex(), upper);
    }
}

TEST(CommandConsole, InvertSetsTheTopBitOnce) {
    const std::pair<QString, QString> cases[] = {
        {"1D010D", "1D810D"}, {"1D410D", "1DC10D"}, {"1D770D", "1DF70D"}, {"FF0203", "1D8203"},
        {"1D 10D", "1D810D"}, {"xy3a0d", "1DBa0d"}, {"1D汉0D", "1D80D"}, // double-byte: negative code
        {"1D810D", "1D810D"}, {"1Da10D", "1Da10D"}, {"1D0", "1D0"},       {"1D€10D", "1D€10D"},
        {"1Dก10D", "1Dก10D"}, // no GBK code: '?' lies above '8'
    };
    for (const auto& [before, after] : cases) {
        CommandConsole console;
        EXPECT_EQ(console.invert(before), after) << before.toStdString();
        EXPECT_EQ(console.invert(after), after) << "twice";
    }
}

} // namespace
} // namespace panelix
