// The factory mode: what it does when adapters come and go (a fake adapter list), and the
// whole loop against modules on ptys that appear and disappear.
#include "cli/WatchCommand.h"
#include "cli/WatchPlanner.h"

#include "bitmap/DownloadImageBuilder.h"
#include "protocol/Module.h"
#include "simulator/Pty.h"
#include "support/ScriptedModule.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

using namespace panelix;
using namespace panelix::cli;

namespace {

SerialPortInfo adapter(const QString& path, const QString& stable = {}, quint16 vid = 0, quint16 pid = 0) {
    SerialPortInfo p;
    p.path = path;
    p.stablePath = stable;
    p.hasUsbIds = vid != 0;
    p.vendorId = vid;
    p.productId = pid;
    return p;
}

QStringList names(const QList<WatchStep>& steps, WatchAction action) {
    QStringList out;
    for (const WatchStep& s : steps) {
        if (s.action == action)
            out << s.port.identity();
    }
    return out;
}

const QString A = QStringLiteral("/dev/serial/by-id/usb-FTDI_A-if00-port0");
const QString B = QStringLiteral("/dev/serial/by-id/usb-FTDI_B-if00-port0");

} // namespace

TEST(WatchPlanner, AppearingAdapterIsProgrammedOnceWhileItStaysPluggedIn) {
    QList<SerialPortInfo> list;
    WatchPlanner planner([&] { return list; }, WatchFilter{});
    EXPECT_TRUE(planner.poll().isEmpty());
    list = {adapter(QStringLiteral("/dev/ttyUSB0"), A)};
    EXPECT_EQ(names(planner.poll(), WatchAction::Program), QStringList{A});
    EXPECT_TRUE(planner.busy(A));
    // Busy, then done: the same adapter still plugged in is left alone.
    EXPECT_TRUE(planner.poll().isEmpty());
    planner.finished(A);
    EXPECT_FALSE(planner.busy(A));
    EXPECT_TRUE(planner.poll().isEmpty());
    // A second adapter is programmed beside it; the same stable name in another socket is
    // the same adapter.
    list = {adapter(QStringLiteral("/dev/ttyUSB3"), A), adapter(QStringLiteral("/dev/ttyUSB1"), B)};
    EXPECT_EQ(names(planner.poll(), WatchAction::Program), QStringList{B});
    EXPECT_EQ(planner.busyCount(), 1);
}

TEST(WatchPlanner, PulledMidwayIsLostAndProgrammedAgainWhenBack) {
    QList<SerialPortInfo> list{adapter(QStringLiteral("/dev/ttyUSB0"), A), adapter(QStringLiteral("/dev/ttyUSB1"), B)};
    WatchPlanner planner([&] { return list; }, WatchFilter{});
    EXPECT_EQ(planner.poll().size(), 2);
    planner.finished(B);
    list.clear();
    const QList<WatchStep> steps = planner.poll();
    // A was busy: lost. B was done: gone quietly.
    EXPECT_EQ(names(steps, WatchAction::Lost), QStringList{A});
    EXPECT_TRUE(names(steps, WatchAction::Program).isEmpty());
    EXPECT_FALSE(planner.busy(A));
    EXPECT_TRUE(planner.poll().isEmpty());
    list = {adapter(QStringLiteral("/dev/ttyUSB2"), A), adapter(QStringLiteral("/dev/ttyUSB0"), B)};
    EXPECT_EQ(names(planner.poll(), WatchAction::Program), (QStringList{A, B}));
}

TEST(WatchPlanner, FilterByPatternAndUsbIds) {
    QList<SerialPortInfo> list{adapter(QStringLiteral("/dev/ttyUSB0"), A, 0x0403, 0x6001),
                               adapter(QStringLiteral("/dev/ttyACM0"), {}, 0x2341, 0x0043),
                               adapter(QStringLiteral("/dev/ttyS0"))};
    WatchFilter byName;
    byName.pattern = QStringLiteral("ttyACM*");
    EXPECT_EQ(names(WatchPlanner([&] { return list; }, byName).poll(), WatchAction::Program),
              QStringList{QStringLiteral("/dev/ttyACM0")});
    WatchFilter byStable;
    byStable.pattern = QStringLiteral("usb-FTDI_*");
    EXPECT_EQ(names(WatchPlanner([&] { return list; }, byStable).poll(), WatchAction::Program), QStringList{A});
    WatchFilter byUsb;
    ASSERT_TRUE(WatchFilter::parseUsbIds(QStringLiteral("2341:0043"), &byUsb.vendorId, &byUsb.productId));
    byUsb.byUsb = true;
    EXPECT_EQ(names(WatchPlanner([&] { return list; }, byUsb).poll(), WatchAction::Program),
              QStringList{QStringLiteral("/dev/ttyACM0")});
    // A part of a name is no match: the pattern covers the whole name.
    WatchFilter partial;
    partial.pattern = QStringLiteral("ttyUSB");
    EXPECT_TRUE(WatchPlanner([&] { return list; }, partial).poll().isEmpty());

    quint16 v = 0;
    quint16 p = 0;
    EXPECT_FALSE(WatchFilter::parseUsbIds(QStringLiteral("0403"), &v, &p));
    EXPECT_FALSE(WatchFilter::parseUsbIds(QStringLiteral("0403:xyz"), &v, &p));
    EXPECT_FALSE(WatchFilter::parseUsbIds(QStringLiteral("10403:6001"), &v, &p));
    EXPECT_TRUE(WatchFilter::parseUsbIds(QStringLiteral("0403:6001"), &v, &p));
    EXPECT_EQ(v, 0x0403);
    EXPECT_EQ(p, 0x6001);
}

// Two modules on ptys: A is plugged in and programmed; B is pulled mid-way (lost) and
// comes back on another pty under the same stable name, and is programmed again.
TEST(Watch, ProgramsPluggedModulesAndAgainAfterAPulledOneReturns) {
    std::vector<MonoBitmap> bitmaps;
    QByteArray rows(40 * 48, '\0');
    for (int i = 0; i < rows.size(); ++i)
        rows[i] = char(i * 13);
    bitmaps.emplace_back(320, 48, rows);
    const PackedImage packed = DownloadImageBuilder::packDownloadImage(bitmaps);
    ASSERT_TRUE(packed.ok());
    const QByteArray data = packed.image.left(qint64(packed.end));

    Pty ptyA;
    Pty ptyB;
    Pty ptyB2;
    ASSERT_TRUE(ptyA.open() && ptyB.open() && ptyB2.open());
    ScriptedModule moduleA(ptyA);
    ScriptedModule moduleB(ptyB);
    ScriptedModule moduleB2(ptyB2);
    moduleA.start();
    moduleB.start(ScriptedModule::Config{.lineRate = true}); // about 1.6 s: pulled before the end
    moduleB2.start();

    QList<SerialPortInfo> list{adapter(ptyA.slavePath(), A), adapter(ptyB.slavePath(), B)};
    list[0].serialNumber = QStringLiteral("A1");
    list[1].serialNumber = QStringLiteral("B1");
    QTimer::singleShot(500, [&] {
        list.removeLast();
        moduleB.stop();
        ptyB.closeMaster();
    });
    QTimer::singleShot(1200, [&] {
        list.append(adapter(ptyB2.slavePath(), B));
        list.last().serialNumber = QStringLiteral("B1");
    });

    QTemporaryDir dir;
    WatchSettings s;
    s.image = packed.image;
    s.count = 3;
    s.pollMs = 50;
    s.logPath = dir.filePath(QStringLiteral("line.csv"));
    QString out;
    Io io;
    io.out = [&](const QString& t) { out += t; };
    io.err = [](const QString&) {};
    // B's loss is one failed result: the largest status is the lost port's.
    EXPECT_EQ(runWatch(s, [&] { return list; }, io), ExitPortLost);

    EXPECT_TRUE(out.contains(A + QStringLiteral(": done, ") + QString::number(data.size()) + QStringLiteral(" bytes"))) << out.toStdString();
    EXPECT_TRUE(out.contains(B + QStringLiteral(": lost"))) << out.toStdString();
    EXPECT_TRUE(out.contains(B + QStringLiteral(": done, "))) << out.toStdString();
    // Bytes on the wire: the connection test, the header, the whole image; A only once.
    EXPECT_EQ(moduleA.received(), module::simpleCommand(module::CmdConnectionTest) +
                                      module::bitmapHeader(module::bankedAddress(qint32(packed.end))) + data);
    EXPECT_EQ(moduleA.headersAnswered(), 1);
    EXPECT_EQ(moduleA.dataBytes(), data);
    EXPECT_EQ(moduleB2.dataBytes(), data);
    EXPECT_LT(moduleB.dataBytes().size(), data.size());

    QFile log(s.logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("time,port,serial,bytes,seconds,outcome"));
    int lost = 0;
    int done = 0;
    for (const QString& l : lines.mid(1)) {
        const QStringList f = l.split(QLatin1Char(','));
        ASSERT_EQ(f.size(), 6) << l.toStdString();
        if (f[5] == QStringLiteral("lost")) {
            ++lost;
            EXPECT_EQ(f[1], B);
            EXPECT_EQ(f[2], QStringLiteral("B1"));
            EXPECT_LT(f[3].toLongLong(), data.size());
        } else if (f[5] == QStringLiteral("done")) {
            ++done;
            EXPECT_EQ(f[3].toLongLong(), data.size());
        }
    }
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(done, 2);
}
