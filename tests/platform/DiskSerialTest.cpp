#include "platform/DiskSerial.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void put(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(DiskSerial, FirstDiskAndSerialFromSysfsOrUdev)
{
    QTemporaryDir dir;
    const QString block = dir.path() + QStringLiteral("/block");
    const QString udev = dir.path() + QStringLiteral("/udev");
    for (const char *name : {"sr0", "loop0", "dm-0", "sdb", "sda", "sdaa", "sdc", "zram0", "nvme0n1"})
        QDir().mkpath(block + QLatin1Char('/') + QLatin1String(name));
    EXPECT_EQ(platform::diskNames(block), (QStringList{"nvme0n1", "sda", "sdaa", "sdb", "sdc"}));

    put(block + "/nvme0n1/device/serial", "  S3ABC123  \n");
    EXPECT_EQ(platform::readSysfsSerial("nvme0n1", block, udev), QStringLiteral("  S3ABC123  "));

    // Unit serial number page: header with the length, then the serial.
    put(block + "/sda/device/vpd_pg80", QByteArray("\x00\x80\x00\x06WX1234junk", 14));
    EXPECT_EQ(platform::readSysfsSerial("sda", block, udev), QStringLiteral("WX1234"));

    put(block + "/sdb/dev", "8:16\n");
    put(udev + "/b8:16", "S:disk/by-id/x\nE:ID_SERIAL=Maker_Model_Z9\nE:ID_SERIAL_SHORT=Z9\n");
    EXPECT_EQ(platform::readSysfsSerial("sdb", block, udev), QStringLiteral("Z9"));

    EXPECT_EQ(platform::readSysfsSerial("sdc", block, udev), QString());
    EXPECT_TRUE(platform::readIdentifyData(QStringLiteral("no-such-disk")).isEmpty());
}
