// The module's byte-stream parser: framing, headers, splits, garbage and pauses.
#include "SimTestSupport.h"

#include "protocol/Module.h"
#include "simulator/core/ModuleCore.h"
#include "support/TestFiles.h"

#include <QMap>

#include <gtest/gtest.h>

#include <chrono>
#include <random>

namespace panelix {
namespace {

using test::bytes;

struct Snapshot {
    Frame frame;
    bool backlight;
    QByteArray image;
    QByteArray font;
    qint64 commands;
    qint64 dropped;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const ModuleCore& core) {
    return {core.frame(),      core.backlight(),         core.imageMemory(),
            core.fontMemory(), core.counters().commands, core.counters().dropped};
}

// The probe after a disturbance: the screen goes dark and the test is answered.
const QByteArray probe = bytes({0x1D, 0x83, 0x0D, 0x1D, 0x0C, 0x0D});

bool recovered(ModuleCore& core) {
    if (core.feed(probe) != bytes({0x0C}))
        return false;
    for (std::uint8_t b : core.frame()) {
        if (b != 0xFF)
            return false;
    }
    return true;
}

// A session with every kind of traffic, malformed pieces included.
QByteArray session() {
    QByteArray s;
    s += test::bitmapTransfer(test::downloadImage({test::bmpFile(24, 10), test::bmpFile(41, 7)}));
    s += bytes({0x1D, 0x02, 1, 2, 1, 0x0D, 0x1D, 0x82, 20, 100, 0, 0x0D});
    s += bytes({0x1D, 0x01, 5, 5, 0xBA, 0xBA, 'A', 0xD7, 0xD6, 0x0D});
    s += bytes({0x1D, 0xC1, 0, 200, 0xB0, 0xA1, 0x0D});
    s += bytes({0x00, 0xFF, 0x0D}); // stray bytes
    s += bytes({0x1D, 0x06, 3, 40, 10, 50, 2, 0x0D, 0x1D, 0x05, 0, 0, 40, 8, 0x0D});
    s += bytes({0x1D, 0x04, 1, 1, 2, 0x0D});    // a parameter short
    s += bytes({0x1D, 0x09, 0xA6, 0x68, 0x0D}); // unknown command
    s += bytes({0xA6, 0x68, 0x00, 0x00, 0x07}); // impossible header
    s += bytes({0x1D, 0x08, 0x0D, 0x1D, 0x0C, 0x0D, 0x1D, 0x84, 4, 4, 4, 4, 0x0D});
    return s;
}

TEST(ModuleParser, CommandsSplitAtEveryByteBoundaryActAsOneRead) {
    const QByteArray stream = session();
    ModuleCore whole;
    QMap<ModuleEvent::Kind, int> logged;
    whole.setEventSink([&](const ModuleEvent& e) { ++logged[e.kind]; });
    const QByteArray replies = whole.feed(stream);
    using K = ModuleEvent::Kind;
    EXPECT_EQ(logged, (QMap<K, int>{{K::Command, 9},
                                    {K::Dropped, 3},
                                    {K::Header, 1},
                                    {K::TransferDone, 1},
                                    {K::HeaderRefused, 1},
                                    {K::Reply, 3}}));
    EXPECT_EQ(replies, bytes({0xAA, 0x55, 0x0C}));
    EXPECT_EQ(whole.counters().commands, 9);
    EXPECT_EQ(whole.counters().dropped, 3);
    const Snapshot expected = snapshot(whole);
    for (int cut = 1; cut < stream.size(); ++cut) {
        ModuleCore split;
        QByteArray got = split.feed(stream.left(cut));
        got += split.feed(stream.mid(cut));
        ASSERT_EQ(got, replies) << "cut at " << cut;
        ASSERT_TRUE(snapshot(split) == expected) << "cut at " << cut;
    }
    ModuleCore bytewise;
    QByteArray got;
    for (char c : stream)
        got += bytewise.feed(QByteArray(1, c));
    EXPECT_EQ(got, replies);
    EXPECT_TRUE(snapshot(bytewise) == expected);
}

TEST(ModuleParser, HeadersItCannotHonourAreAnswered55) {
    struct Case {
        QByteArray header;
        int reply;
        qint64 length = 0;
    };
    const Case cases[] = {
        {bytes({0xA6, 0x68, 0x00, 0x04, 0x08}), 0xAA, 1024},    // 1024: the directory alone
        {bytes({0xA6, 0x68, 0xFF, 0x03, 0x08}), 0x55},          // 1023: shorter than the directory
        {bytes({0xA6, 0x68, 0x00, 0x00, 0x08}), 0x55},          // 0
        {bytes({0xA6, 0x68, 0x01, 0x00, 0x10}), 0xAA, 0x40001}, // 0x40001, the host's limit
        {bytes({0xA6, 0x68, 0x00, 0x00, 0x18}), 0xAA, 0x80000}, // 0x80000, the whole memory
        {bytes({0xA6, 0x68, 0x01, 0x00, 0x18}), 0x55},          // 0x80001
        {bytes({0xA6, 0x68, 0xFF, 0xFF, 0xFF}), 0x55},          // page byte above 127
        {bytes({0xA6, 0x68, 0x00, 0x04, 0x07}), 0x55},          // bank byte without its + 8
        {bytes({0xA6, 0x60, 0x00, 0x00, 0x08}), 0xAA, 262144},  // the font
        {bytes({0xA6, 0x60, 0x00, 0x00, 0x10}), 0x55},          {bytes({0xA6, 0x60, 0x01, 0x00, 0x08}), 0x55},
        {bytes({0xA6, 0x61, 0x00, 0x04, 0x08}), 0x55}, // unknown transfer
    };
    for (const Case& c : cases) {
        ModuleCore core;
        EXPECT_EQ(core.feed(c.header), bytes({c.reply})) << c.header.toHex().constData();
        if (c.reply == 0xAA) {
            EXPECT_EQ(core.counters().transferExpected, c.length) << c.header.toHex().constData();
            continue;
        }
        EXPECT_EQ(core.counters().headersRefused, 1);
        EXPECT_TRUE(recovered(core)) << c.header.toHex().constData();
    }
}

TEST(ModuleParser, MalformedCommandsAreDroppedAndTheNextOneIsRead) {
    const QByteArray streams[] = {
        bytes({0x1D, 0x03}),                         // terminator missing: 1D starts the next
        bytes({0x1D, 0x03, 0x00, 0x0D}),             // a parameter too many
        bytes({0x1D, 0x01, 0x00, 0x00, 0xBA, 0xBA}), // text cut short
        bytes({0x1D, 0x41, 0x00, 0x00, 0xBA}),       // GBK pair cut short
        bytes({0x1D, 0x01, 0x00, 0x00, 0xBA, 0x0D}), // pair cut by the terminator
        bytes({0x1D, 0x1D}),                         // doubled introducer
        bytes({0x1D, 0x7F, 0x1D, 0x03, 0x0D}),       // unknown: skipped to its terminator
        bytes({0x42, 0x00, 0x0D, 0xFF}),             // bytes outside any command
    };
    for (const QByteArray& s : streams) {
        ModuleCore core;
        EXPECT_EQ(core.feed(s), QByteArray());
        EXPECT_TRUE(recovered(core)) << s.toHex().constData();
        EXPECT_GE(core.counters().dropped, 1) << s.toHex().constData();
        EXPECT_EQ(core.counters().commands, 2) << s.toHex().constData();
    }
}

TEST(ModuleParser, TruncatedStreamsEndAtAPause) {
    const QByteArray whole[] = {
        bytes({0x1D, 0x06, 1, 2, 3, 4, 5, 0x0D}),
        bytes({0x1D, 0x01, 0x0D, 0x1D, 0xBA, 0xBA, 0x0D}), // X and Y may be any byte
        bytes({0x1D, 0x02, 0xA6, 0x68, 0x00, 0x0D}),
        bytes({0xA6, 0x68, 0x00, 0x04, 0x08}),
        bytes({0xA6, 0x60, 0x00, 0x00, 0x08}),
    };
    for (const QByteArray& w : whole) {
        for (int cut = 1; cut < w.size(); ++cut) {
            ModuleCore core;
            const QByteArray part = w.left(cut);
            EXPECT_EQ(core.feed(part), QByteArray());
            EXPECT_EQ(core.lineQuiet(ModuleCore::CommandTimeoutMs - 1), QByteArray());
            const bool header = std::uint8_t(w[0]) == 0xA6;
            EXPECT_EQ(core.lineQuiet(ModuleCore::CommandTimeoutMs), header ? bytes({0x55}) : QByteArray());
            EXPECT_TRUE(recovered(core)) << part.toHex().constData();
            EXPECT_EQ(core.counters().commands, 2);
        }
    }
}

TEST(ModuleParser, StalledTransferIsAbandonedAndTheOldImagesStay) {
    ModuleCore core;
    const QByteArray first = test::downloadImage({test::bmpFile(16, 4)});
    ASSERT_EQ(core.feed(test::bitmapTransfer(first)), bytes({0xAA}));
    const QByteArray second = test::downloadImage({test::bmpFile(320, 240)});
    EXPECT_EQ(core.feed(test::bitmapTransfer(second).left(3000)), bytes({0xAA}));
    EXPECT_EQ(core.counters().transferReceived, 3000 - 5);
    EXPECT_EQ(core.lineQuiet(ModuleCore::TransferTimeoutMs - 1), QByteArray());
    EXPECT_EQ(core.lineQuiet(ModuleCore::TransferTimeoutMs), bytes({0x55}));
    EXPECT_EQ(core.counters().transfersAborted, 1);
    EXPECT_EQ(core.imageMemory().left(first.size()), first);
    EXPECT_EQ(core.directory().count, 1);
    EXPECT_TRUE(recovered(core));
}

// Random streams biased towards the bytes that steer the parser.
QByteArray randomStream(std::mt19937& rng, int length) {
    static const std::uint8_t steering[] = {0x1D, 0x0D, 0xA6, 0x68, 0x60, 0x08, 0x04, 0x00, 0x01,
                                            0x41, 0x02, 0x03, 0x05, 0x06, 0x0C, 0x81, 0xBA, 0x82};
    QByteArray s;
    s.reserve(length);
    std::uniform_int_distribution<int> any(0, 255);
    for (int i = 0; i < length; ++i) {
        const int r = any(rng);
        s.append(char(r < 128 ? steering[std::size_t(r) % sizeof steering] : std::uint8_t(any(rng))));
    }
    return s;
}

bool onlyKnownReplies(const QByteArray& replies) {
    for (char c : replies) {
        const auto b = std::uint8_t(c);
        if (b != 0xAA && b != 0x55 && b != 0x0C)
            return false;
    }
    return true;
}

// Two seconds of random traffic into one module (where clang is not at hand this
// stands in for the fuzzer), read in chunks of random size, with pauses now and
// then; after a long pause the module must work as new.
TEST(ModuleParser, RandomStreamsLeaveAWorkingModule) {
    std::mt19937 rng(7);
    ModuleCore core;
    qint64 fed = 0;
    int checks = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < until) {
        const QByteArray chunk = randomStream(rng, 1 + int(rng() % 4096));
        ASSERT_TRUE(onlyKnownReplies(core.feed(chunk)));
        fed += chunk.size();
        if (rng() % 16 == 0) {
            ASSERT_TRUE(onlyKnownReplies(core.lineQuiet(int(rng() % 6000))));
        }
        if (rng() % 8 == 0) {
            ASSERT_TRUE(onlyKnownReplies(core.lineQuiet(ModuleCore::TransferTimeoutMs)));
            ASSERT_TRUE(recovered(core)) << "after " << chunk.toHex().constData();
            fed += probe.size();
            ++checks;
        }
    }
    EXPECT_GT(checks, 10);
    EXPECT_EQ(core.counters().bytesIn, fed);
    EXPECT_EQ(core.imageMemory().size(), ImageMemorySize);
    EXPECT_EQ(core.fontMemory().size(), FontMemorySize);
}

} // namespace
} // namespace panelix
