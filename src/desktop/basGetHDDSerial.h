#pragma once
// The machine identifier sent with the update query: the first disk's serial number.

#include <QByteArray>
#include <QString>

namespace desktop {

// Filled once by the main window at start-up; read by the update query.
extern QString g_sMachineID;

inline const QString kSerialNotPresent = QStringLiteral("[Not present]");

// The first disk's serial number with its blanks at both ends removed, or
// "[Not present]" when it cannot be read. The folders are there for tests.
QString GetHDDSerial(const QString &sysBlock = QStringLiteral("/sys/block"),
                     const QString &udevData = QStringLiteral("/run/udev/data"));

// The serial number in 512 bytes of ATA IDENTIFY DEVICE data: the 20 bytes of
// words 10 to 19 with the two bytes of every word swapped, blanks (and NUL
// padding) removed at both ends. Empty when the data is too short.
QString DecodeIdentifySerial(const QByteArray &identifyData);

} // namespace desktop
