#include "WindowFixture.h"

#include "link/LinkCore.h"
#include "link/PortList.h"
#include "bitmap/BmpWriter.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

#include <cerrno>

using namespace panelix;
using namespace panelix::test;

namespace {

struct Ports : ::testing::Test, WindowOnPtys {
    QTemporaryDir links;
    QList<SerialPortInfo> fake;

    QComboBox* picker(int n) const { return child<QComboBox>(n == 1 ? "Port1Device" : "Port2Device"); }
    void useFakeSource() {
        window->setPortSource([this] { return fake; });
    }
    static SerialPortInfo adapter(const QString& path, const QString& serial) {
        SerialPortInfo p;
        p.path = path;
        p.description = "FT232R USB UART";
        p.manufacturer = "FTDI";
        p.hasUsbIds = true;
        p.vendorId = 0x0403;
        p.productId = 0x6001;
        p.serialNumber = serial;
        p.stablePath = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0";
        return p;
    }
};

int refuseWithEacces(const char*, int) {
    errno = EACCES;
    return -1;
}

} // namespace

TEST_F(Ports, TheListsShowTheSystemsDevicesAndFollowPlugAndUnplug) {
    open(true, true);
    fake = {adapter("/dev/ttyUSB0", "A1")};
    useFakeSource();
    ASSERT_EQ(picker(1)->count(), 1);
    EXPECT_EQ(picker(1)->itemText(0), QString("ttyUSB0  FT232R USB UART  0403:6001"));
    EXPECT_EQ(picker(1)->itemData(0).toString(), fake[0].stablePath);
    // Port 1 is a pty that no list shows: its path stays in the edit field.
    EXPECT_EQ(picker(1)->currentText(), pty1.slavePath());

    fake << adapter("/dev/ttyUSB1", "B2");
    ASSERT_TRUE(waitUntil([&] { return picker(2)->count() == 2; }, 2000));
    fake.removeFirst();
    ASSERT_TRUE(waitUntil([&] { return picker(1)->count() == 1; }, 2000));
    EXPECT_EQ(picker(1)->itemText(0), QString("ttyUSB1  FT232R USB UART  0403:6001"));
}

TEST_F(Ports, AChosenDeviceIsRememberedByItsStablePathAndTheOpenPortMovesToIt) {
    open(true, false);
    // The adapter's stable name is a link to the device, as udev makes it.
    const QString stable = links.filePath("usb-FTDI_A1-if00-port0");
    ASSERT_TRUE(pty2.open());
    ASSERT_TRUE(QFile::link(pty2.slavePath(), stable));
    SerialPortInfo a = adapter(pty2.slavePath(), "A1");
    a.stablePath = stable;
    fake = {a};
    useFakeSource();
    ASSERT_TRUE(window->session().port().isOpen());
    picker(1)->setCurrentIndex(0);
    emit picker(1)->activated(0);
    EXPECT_EQ(window->session().port().devicePath(1), stable);
    EXPECT_TRUE(window->session().port().isOpen());
    click("Command11");
    EXPECT_EQ(pty2.readExactly(3, 2000), QByteArray("\x1D\x07\x0D", 3));
    EXPECT_TRUE(child<QRadioButton>("Option1")->toolTip().contains("FT232R USB UART"));

    // A path typed into the other picker is taken as it is.
    picker(2)->lineEdit()->setText("/dev/ttyACM3");
    emit picker(2)->lineEdit()->returnPressed();
    EXPECT_EQ(window->session().port().devicePath(2), QString("/dev/ttyACM3"));
    EXPECT_EQ(window->session().port().devicePath(1), stable); // the open port is untouched
}

TEST_F(Ports, EachCauseOfAFailedOpenIsNamed) {
    open(true, false);
    const QString file = links.filePath("plain");
    ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    const auto openTwo = [&](const QString& device) {
        picker(2)->lineEdit()->setText(device);
        emit picker(2)->lineEdit()->returnPressed();
        child<QRadioButton>("Option2")->click();
        return status();
    };
    EXPECT_EQ(openTwo("/nonexistent/ttyUSB4"), QString("串口COM2打开失败:设备不存在!"));
    EXPECT_EQ(openTwo(file), QString("串口COM2打开失败:不是串口!"));

    // Busy: a second program holds the device.
    ASSERT_TRUE(pty2.open());
    CommPort other;
    other.setDevicePath(1, pty2.slavePath());
    ASSERT_TRUE(other.open());
    child<QRadioButton>("Option1")->click();
    EXPECT_EQ(openTwo(pty2.slavePath()), QString("串口COM2打开失败:已被占用!"));
    other.close();

    // No permission: the tests run as root, so the refusal is made at the open call.
    child<QRadioButton>("Option1")->click();
    setDeviceOpener(&refuseWithEacces);
    const QString text = openTwo(pty2.slavePath());
    setDeviceOpener(nullptr);
    EXPECT_EQ(text, QString("串口COM2打开失败:无访问权限!"));
    EXPECT_TRUE(child<QRadioButton>("Option2")->toolTip().contains("usermod -aG")) <<
        child<QRadioButton>("Option2")->toolTip().toStdString();
}

TEST_F(Ports, AnUnpluggedAdapterThatComesBackIsReopenedAndSaysSo) {
    const QString device = links.filePath("ttyUSB0");
    ASSERT_TRUE(pty1.open());
    ASSERT_TRUE(QFile::link(pty1.slavePath(), device));
    StartupOptions o;
    o.dataDir = dataDir.filePath("dispkit");
    o.port1 = device;
    o.port2 = "/nonexistent/port2";
    makeWindow(o);
    ASSERT_TRUE(window->session().port().isOpen());

    // Unplugged: the device node goes with the line.
    pty1.releaseSlave();
    pty1.closeMaster();
    ASSERT_TRUE(QFile::remove(device));
    ASSERT_TRUE(waitUntil([&] { return status() == QString("串口已断开!"); }));
    spin(2 * ModuleSession::ReconnectPollMs);
    EXPECT_FALSE(window->session().port().isOpen());

    // Plugged in again (in whatever socket): the same name comes back.
    ASSERT_TRUE(pty2.open());
    ASSERT_TRUE(QFile::link(pty2.slavePath(), device));
    ASSERT_TRUE(waitUntil([&] { return status() == QString("串口已重新连接"); }, 2000));
    EXPECT_TRUE(window->session().port().isOpen());
    EXPECT_FALSE(window->session().port().running());
    click("Command12");
    EXPECT_EQ(pty2.readExactly(3, 2000), QByteArray("\x1D\x08\x0D", 3));
}

TEST_F(Ports, TheListsRestWhileDataFlowsAndCatchUpAfterwards) {
    open(true, false, {.lineRate = true});
    int scans = 0;
    int scansWhileRunning = 0;
    window->setPortSource([&] {
        ++scans;
        if (window->session().running())
            ++scansWhileRunning;
        return fake;
    });
    // 1024 directory bytes and 2,400 picture bytes: about 1.8 s at 19,200 baud.
    const QString bmp = QDir(window->dataDir()).filePath("half.bmp");
    ASSERT_TRUE(writeBmpFile(bmp, MonoBitmap(160, 120)));
    ASSERT_TRUE(window->bitmapList().add(bmp, nullptr));
    click("Command8");
    ASSERT_TRUE(waitUntil([&] { return window->session().port().running(); }, 3000));
    scans = 0;
    fake = {adapter("/dev/ttyUSB0", "A1")};
    ASSERT_TRUE(waitUntil([&] { return !window->session().running(); }, 5000));
    EXPECT_EQ(scansWhileRunning, 0);
    EXPECT_EQ(scans, 1); // one as soon as the data stopped
    EXPECT_EQ(picker(2)->count(), 1);
}
