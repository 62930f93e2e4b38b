#pragma once
// The first disk's serial number as Linux offers it.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace platform {

// Whole disks under `sysBlock` (normally /sys/block) in name order, without
// loop, RAM, optical, floppy and device-mapper devices.
QStringList diskNames(const QString &sysBlock = QStringLiteral("/sys/block"));

// The 512-byte ATA IDENTIFY DEVICE data of /dev/<disk> (HDIO_GET_IDENTITY); empty
// when the kernel refuses it (no permission, not an ATA disk).
QByteArray readIdentifyData(const QString &disk);

// The serial number the kernel reports for <disk> through sysfs or the udev
// database, as stored; empty when none.
QString readSysfsSerial(const QString &disk, const QString &sysBlock = QStringLiteral("/sys/block"),
                        const QString &udevData = QStringLiteral("/run/udev/data"));

} // namespace platform
