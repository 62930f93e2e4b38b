#include "platform/DiskSerial.h"

#include "common/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(DiskSerial, FirstDiskAndSerialFromSysfsOrUdev)
{
    QTemporaryDir dir;
    const QString block = dir.filePath("block"), udev = dir.filePath("udev");
    const auto put = [&](const QString &path, const QByteArray &bytes) {
        QDir().mkpath(QFileInfo(path).path());
        ASSERT_TRUE(testing_support::writeAll(path, bytes));
    };
    for (const char *name : {"sr0", "loop0", "dm-0", "md0", "sdb", "sda", "sdaa", "sdc", "zram0", "nvme0n1",
                             "nvme10n1", "nvme2n1"})
        QDir().mkpath(block + '/' + name);
    EXPECT_EQ(platform::diskNames(block),
              (QStringList{"nvme0n1", "nvme2n1", "nvme10n1", "sda", "sdaa", "sdb", "sdc"}));

    put(block + "/nvme0n1/device/serial", "  S3ABC123  \n");
    EXPECT_EQ(platform::readSysfsSerial("nvme0n1", block, udev), "  S3ABC123  ");
    // Unit serial number page: header with the length, then the serial; a blank serial file is none.
    put(block + "/sda/device/serial", " \n");
    put(block + "/sda/device/vpd_pg80", QByteArray("\x00\x80\x00\x06WX1234junk", 14));
    EXPECT_EQ(platform::readSysfsSerial("sda", block, udev), "WX1234");
    put(block + "/sdb/dev", "8:16\n");
    put(udev + "/b8:16", "S:disk/by-id/x\nE:ID_SERIAL=Maker_Model_Z9\nE:ID_SERIAL_SHORT=Z9\n");
    EXPECT_EQ(platform::readSysfsSerial("sdb", block, udev), "Z9");
    EXPECT_EQ(platform::readSysfsSerial("sdc", block, udev), QString());
    EXPECT_TRUE(platform::readIdentifyData("no-such-disk").isEmpty());
}
