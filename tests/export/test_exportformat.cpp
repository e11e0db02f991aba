// Byte layouts worked out by hand on small pictures, and round trips of every option.
#include "export/ExportFormat.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <utility>

using namespace panelix;

namespace {

MonoBitmap picture(int w, int h, std::initializer_list<std::pair<int, int>> dark) {
    MonoBitmap b(w, h);
    for (auto [x, y] : dark)
        b.setPixel(x, y, true);
    return b;
}

QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}

ExportOptions opts(ScanMode scan, BitOrder bits = BitOrder::MsbFirst, Polarity pol = Polarity::DarkIsOne,
                   int word = 8, ByteOrder order = ByteOrder::BigEndian, bool pad = true) {
    ExportOptions o;
    o.scan = scan;
    o.bitOrder = bits;
    o.polarity = pol;
    o.wordBits = word;
    o.byteOrder = order;
    o.padLines = pad;
    return o;
}

// 8 x 8: the top row dark and the diagonal x == y.
MonoBitmap square() {
    return picture(8, 8, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0},
                          {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}});
}

// 16 x 8: the diagonal of the left half, column 8 and the bottom right dot.
MonoBitmap wide() {
    return picture(16, 8, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7},
                           {8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 6}, {8, 7}, {15, 7}});
}

// 10 x 3: rows that end inside their second byte.
MonoBitmap odd() {
    return picture(10, 3, {{0, 0}, {9, 0}, {8, 1}, {1, 2}, {9, 2}});
}

// 2 x 16: two pages, so columns and pages differ.
MonoBitmap tall() {
    return picture(2, 16, {{0, 0}, {0, 9}, {1, 2}, {1, 15}});
}

} // namespace

TEST(ExportSquare, RowsInEveryBitOrderAndPolarity) {
    EXPECT_EQ(exportBitmap(square(), opts(ScanMode::Rows)), hex("FF40201008040201"));
    EXPECT_EQ(exportBitmap(square(), opts(ScanMode::Rows, BitOrder::LsbFirst)), hex("FF02040810204080"));
    EXPECT_EQ(exportBitmap(square(), opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsZero)),
              hex("00BFDFEFF7FBFDFE"));
    // One word column: the column-major order is the same.
    EXPECT_EQ(exportBitmap(square(), opts(ScanMode::RowsColumnMajor)), hex("FF40201008040201"));
}

TEST(ExportSquare, ColumnsAndPages) {
    EXPECT_EQ(exportBitmap(square(), opts(ScanMode::Columns, BitOrder::LsbFirst)), hex("0103050911214181"));
    EXPECT_EQ(exportBitmap(square(), opts(ScanMode::Columns)), hex("80C0A09088848281"));
    EXPECT_EQ(exportBitmap(square(), opts(ScanMode::Pages, BitOrder::LsbFirst)), hex("0103050911214181"));
    EXPECT_EQ(exportBitmap(square(), opts(ScanMode::Pages, BitOrder::LsbFirst, Polarity::DarkIsZero)),
              hex("FEFCFAF6EEDEBE7E"));
}

TEST(ExportWide, RowsAndTheirColumnMajorVariant) {
    EXPECT_EQ(exportBitmap(wide(), opts(ScanMode::Rows)), hex("80804080208010800880048002800181"));
    EXPECT_EQ(exportBitmap(wide(), opts(ScanMode::Rows, BitOrder::LsbFirst)),
              hex("01010201040108011001200140018081"));
    EXPECT_EQ(exportBitmap(wide(), opts(ScanMode::RowsColumnMajor)), hex("80402010080402018080808080808081"));
}

TEST(ExportWide, SixteenBitWordsInBothByteOrders) {
    EXPECT_EQ(exportBitmap(wide(), opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsOne, 16)),
              hex("80804080208010800880048002800181"));
    EXPECT_EQ(exportBitmap(wide(), opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsOne, 16,
                                        ByteOrder::LittleEndian)),
              hex("80808040802080108008800480028101"));
    EXPECT_EQ(exportBitmap(wide(), opts(ScanMode::Rows, BitOrder::LsbFirst, Polarity::DarkIsOne, 16)),
              hex("01010102010401080110012001408180"));
}

TEST(ExportWide, Columns) {
    EXPECT_EQ(exportBitmap(wide(), opts(ScanMode::Columns, BitOrder::LsbFirst)),
              hex("0102040810204080FF00000000000080"));
    EXPECT_EQ(exportBitmap(wide(), opts(ScanMode::Pages, BitOrder::LsbFirst)),
              hex("0102040810204080FF00000000000080"));
}

TEST(ExportTall, ColumnsRunDownEachColumnPagesAcrossEachPage) {
    EXPECT_EQ(exportBitmap(tall(), opts(ScanMode::Columns, BitOrder::LsbFirst)), hex("01020480"));
    EXPECT_EQ(exportBitmap(tall(), opts(ScanMode::Pages, BitOrder::LsbFirst)), hex("01040280"));
    EXPECT_EQ(exportBitmap(tall(), opts(ScanMode::Columns, BitOrder::LsbFirst, Polarity::DarkIsOne, 16)),
              hex("02018004"));
    EXPECT_EQ(exportBitmap(tall(), opts(ScanMode::Columns, BitOrder::MsbFirst, Polarity::DarkIsOne, 16)),
              hex("80402001"));
    EXPECT_EQ(exportBitmap(tall(), opts(ScanMode::Columns, BitOrder::LsbFirst, Polarity::DarkIsOne, 16,
                                        ByteOrder::LittleEndian)),
              hex("01020480"));
    // A page of 16-bit words is 16 rows high: one page, the same words as the columns.
    EXPECT_EQ(exportBitmap(tall(), opts(ScanMode::Pages, BitOrder::LsbFirst, Polarity::DarkIsOne, 16)),
              hex("02018004"));
}

TEST(ExportOdd, RowsPaddedAndPacked) {
    EXPECT_EQ(exportBitmap(odd(), opts(ScanMode::Rows)), hex("804000804040"));
    EXPECT_EQ(exportBitmap(odd(), opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsZero)),
              hex("7FBFFF7FBFBF"));
    const auto packed = [](BitOrder b, Polarity p) {
        return opts(ScanMode::Rows, b, p, 8, ByteOrder::BigEndian, false);
    };
    EXPECT_EQ(exportBitmap(odd(), packed(BitOrder::MsbFirst, Polarity::DarkIsOne)), hex("80402404"));
    EXPECT_EQ(exportBitmap(odd(), packed(BitOrder::MsbFirst, Polarity::DarkIsZero)), hex("7FBFDBFB"));
    EXPECT_EQ(exportBitmap(odd(), packed(BitOrder::LsbFirst, Polarity::DarkIsOne)), hex("01022420"));
}

TEST(ExportOdd, SixteenBitRows) {
    EXPECT_EQ(exportBitmap(odd(), opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsOne, 16)),
              hex("804000804040"));
    EXPECT_EQ(exportBitmap(odd(), opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsOne, 16,
                                       ByteOrder::LittleEndian)),
              hex("408080004040"));
}

TEST(ExportOdd, ColumnMajorColumnsAndPages) {
    EXPECT_EQ(exportBitmap(odd(), opts(ScanMode::RowsColumnMajor)), hex("800040408040"));
    EXPECT_EQ(exportBitmap(odd(), opts(ScanMode::Columns, BitOrder::LsbFirst)), hex("01040000000000000205"));
    EXPECT_EQ(exportBitmap(odd(), opts(ScanMode::Pages, BitOrder::LsbFirst)), hex("01040000000000000205"));
    const auto packed = [](ScanMode s) {
        return opts(s, BitOrder::LsbFirst, Polarity::DarkIsOne, 8, ByteOrder::BigEndian, false);
    };
    EXPECT_EQ(exportBitmap(odd(), packed(ScanMode::Columns)), hex("2100002A"));
    EXPECT_EQ(exportBitmap(odd(), packed(ScanMode::Pages)), hex("2100002A"));
}

TEST(Export, TheModuleLayoutIsItsOwnBytes) {
    const MonoBitmap b = odd();
    EXPECT_EQ(exportBitmap(b, opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsZero)), b.bytes());
}

TEST(Export, UnusedBitsOfTheModuleRowsAreNotExported) {
    MonoBitmap b(10, 1);
    b.row(0)[1] = 0x00; // dots 8 and 9 dark, and the six unused bits as well
    EXPECT_EQ(exportBitmap(b, opts(ScanMode::Rows)), hex("00C0"));
    EXPECT_EQ(exportBitmap(b, opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsZero)), hex("FF3F"));
}

TEST(Export, DefaultsForVerticalScansPutTheTopDotInBitZero) {
    EXPECT_EQ(defaultOptionsFor(ScanMode::Rows), ExportOptions{});
    EXPECT_EQ(defaultOptionsFor(ScanMode::Pages).bitOrder, BitOrder::LsbFirst);
    EXPECT_EQ(defaultOptionsFor(ScanMode::Columns).bitOrder, BitOrder::LsbFirst);
    EXPECT_EQ(defaultOptionsFor(ScanMode::RowsColumnMajor).bitOrder, BitOrder::MsbFirst);
}

TEST(Export, Sizes) {
    EXPECT_EQ(exportedSize(320, 240, {}), 9600);
    EXPECT_EQ(exportedSize(10, 3, {}), 6);
    EXPECT_EQ(exportedSize(10, 3, opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsOne, 16)), 6);
    EXPECT_EQ(exportedSize(10, 3, opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsOne, 8,
                                       ByteOrder::BigEndian, false)),
              4);
    // 30 packed dots in 16-bit words: two words.
    EXPECT_EQ(exportedSize(10, 3, opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsOne, 16,
                                       ByteOrder::BigEndian, false)),
              4);
    EXPECT_EQ(exportedSize(17, 3, opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsOne, 16)), 12);
    EXPECT_EQ(exportedSize(3, 17, opts(ScanMode::Pages)), 9);
    EXPECT_EQ(exportedSize(0, 3, {}), -1);
    EXPECT_EQ(exportedSize(3, MaxExportSide + 1, {}), -1);
    EXPECT_EQ(exportedSize(3, 3, opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsOne, 12)), -1);
    EXPECT_TRUE(exportBitmap(MonoBitmap(), {}).isEmpty());
}

TEST(Import, RefusesWithTypedErrors) {
    EXPECT_EQ(bitmapFromBytes(hex("8040008040"), 10, 3, {}).error, ExportError::SizeMismatch);
    EXPECT_EQ(bitmapFromBytes(hex("8040008040"), 10, 3, {}).expectedSize, 6);
    EXPECT_EQ(bitmapFromBytes(hex("80400080404000"), 10, 3, {}).error, ExportError::SizeMismatch);
    EXPECT_EQ(bitmapFromBytes(hex("80"), 0, 3, {}).error, ExportError::BadSize);
    EXPECT_EQ(bitmapFromBytes(hex("80"), 8, 1, opts(ScanMode::Rows, BitOrder::MsbFirst, Polarity::DarkIsOne, 4))
                  .error,
              ExportError::BadOptions);
}

TEST(Import, ReadsTheHandWorkedBytesBack) {
    const ImportedBitmap r = bitmapFromBytes(hex("2100002A"), 10, 3,
                                             opts(ScanMode::Columns, BitOrder::LsbFirst, Polarity::DarkIsOne, 8,
                                                  ByteOrder::BigEndian, false));
    ASSERT_EQ(r.error, ExportError::None);
    EXPECT_EQ(r.bitmap, odd());
    EXPECT_EQ(bitmapFromBytes(hex("01040280"), 2, 16, opts(ScanMode::Pages, BitOrder::LsbFirst)).bitmap, tall());
}

TEST(RoundTrip, EveryOptionCombinationOnRandomPictures) {
    std::mt19937 rng(20261207);
    const std::pair<int, int> sizes[] = {{1, 1}, {8, 8}, {10, 3}, {7, 5}, {17, 19}, {33, 9}, {16, 16}, {41, 23}};
    int checked = 0;
    for (auto [w, h] : sizes) {
        MonoBitmap b(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                b.setPixel(x, y, rng() & 1);
        for (ScanMode scan : {ScanMode::Rows, ScanMode::RowsColumnMajor, ScanMode::Columns, ScanMode::Pages})
            for (BitOrder bits : {BitOrder::MsbFirst, BitOrder::LsbFirst})
                for (Polarity pol : {Polarity::DarkIsOne, Polarity::DarkIsZero})
                    for (int word : {8, 16})
                        for (ByteOrder order : {ByteOrder::BigEndian, ByteOrder::LittleEndian})
                            for (bool pad : {true, false}) {
                                const ExportOptions o = opts(scan, bits, pol, word, order, pad);
                                const QByteArray bytes = exportBitmap(b, o);
                                ASSERT_EQ(bytes.size(), exportedSize(w, h, o));
                                const ImportedBitmap back = bitmapFromBytes(bytes, w, h, o);
                                ASSERT_EQ(back.error, ExportError::None);
                                ASSERT_EQ(back.bitmap, b) << w << "x" << h << " scan " << int(scan) << " bits "
                                                          << int(bits) << " dark " << int(pol) << " word "
                                                          << word << " order " << int(order) << " pad " << pad;
                                ++checked;
                            }
    }
    EXPECT_EQ(checked, 8 * 128);
}

TEST(RoundTrip, BytesThroughAPictureComeBackTheSame) {
    // Every byte string of the right size is some picture when nothing is padding.
    std::mt19937 rng(7);
    QByteArray bytes(16 * 16 / 8, '\0');
    for (char& c : bytes)
        c = char(rng());
    for (ScanMode scan : {ScanMode::Rows, ScanMode::RowsColumnMajor, ScanMode::Columns, ScanMode::Pages}) {
        const ExportOptions o = opts(scan, BitOrder::LsbFirst, Polarity::DarkIsZero, 16, ByteOrder::LittleEndian);
        const ImportedBitmap b = bitmapFromBytes(bytes, 16, 16, o);
        ASSERT_EQ(b.error, ExportError::None);
        EXPECT_EQ(exportBitmap(b.bitmap, o), bytes);
    }
}
