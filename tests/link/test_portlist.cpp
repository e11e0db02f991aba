#include "link/PortList.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>

using namespace panelix;

namespace {

QStringList sorted(QStringList names) {
    std::sort(names.begin(), names.end(), portNameLess);
    return names;
}

} // namespace

TEST(PortNames, NumbersInNamesSortByValue) {
    // As Windows and Linux list them: plain string order would put COM10 before COM2.
    EXPECT_EQ(sorted({"COM10", "COM2", "COM1", "COM100", "COM3", "COM11"}),
              QStringList({"COM1", "COM2", "COM3", "COM10", "COM11", "COM100"}));
    EXPECT_EQ(sorted({"/dev/ttyUSB10", "/dev/ttyS1", "/dev/ttyUSB2", "/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyS10"}),
              QStringList({"/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyS10", "/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB10"}));
    // Stable names carry serial numbers and interface numbers: each number by its value.
    EXPECT_EQ(sorted({"/dev/serial/by-id/usb-FTDI_A9-if00-port0", "/dev/serial/by-id/usb-FTDI_A10-if00-port0",
                      "/dev/serial/by-id/usb-FTDI_A9-if00-port1"}),
              QStringList({"/dev/serial/by-id/usb-FTDI_A9-if00-port0", "/dev/serial/by-id/usb-FTDI_A9-if00-port1",
                           "/dev/serial/by-id/usb-FTDI_A10-if00-port0"}));
}

TEST(PortNames, CaseLeadingZerosAndPrefixesGiveAStrictOrder) {
    // Letters without regard to case; a name before its own extensions.
    EXPECT_EQ(sorted({"com3", "COM2", "Com10", "COM"}), QStringList({"COM", "COM2", "com3", "Com10"}));
    // Names equal but for case or leading zeros still never tie: the order is total.
    EXPECT_TRUE(portNameLess("COM1", "com1") != portNameLess("com1", "COM1"));
    EXPECT_TRUE(portNameLess("COM01", "COM1") != portNameLess("COM1", "COM01"));
    EXPECT_FALSE(portNameLess("COM7", "COM7"));
    EXPECT_TRUE(portNameLess("COM007", "COM8"));
    EXPECT_TRUE(portNameLess("COM9", "COM010"));
    // Irreflexive, total and transitive over a mixed set.
    const QStringList mixed{"COM1", "com1", "COM01", "COM001", "COM", "COMA", "COM1A", "COM10", "ttyUSB0", "", "0", "00"};
    for (const QString& a : mixed) {
        EXPECT_FALSE(portNameLess(a, a)) << a.toStdString();
        for (const QString& b : mixed) {
            if (a != b)
                EXPECT_NE(portNameLess(a, b), portNameLess(b, a)) << a.toStdString() << " " << b.toStdString();
        }
    }
    for (const QString& a : mixed) {
        for (const QString& b : mixed) {
            for (const QString& c : mixed) {
                if (portNameLess(a, b) && portNameLess(b, c))
                    EXPECT_TRUE(portNameLess(a, c)) << a.toStdString() << " " << b.toStdString() << " " << c.toStdString();
            }
        }
    }
}
