#include "DiskSerial.h"

#include <QCollator>
#include <QDir>
#include <QFile>

#include <algorithm>

#include <fcntl.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {
namespace {

QByteArray readSmallFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(4096);
}

// "8:0" -> the udev database entry "b8:0".
QString udevSerial(const QString &devNumbers, const QString &udevData)
{
    const QByteArray db = readSmallFile(udevData + QStringLiteral("/b") + devNumbers);
    for (const QByteArray &line : db.split('\n')) {
        if (line.startsWith("E:ID_SERIAL_SHORT="))
            return QString::fromLocal8Bit(line.mid(18));
    }
    return {};
}

} // namespace

QStringList diskNames(const QString &sysBlock)
{
    static const char *const skipped[] = {"loop", "ram", "zram", "sr", "fd", "dm-", "md", "nbd"};
    QStringList names;
    const QStringList entries = QDir(sysBlock).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString &name : entries) {
        bool skip = false;
        for (const char *prefix : skipped)
            skip = skip || name.startsWith(QLatin1String(prefix));
        if (!skip)
            names << name;
    }
    // Letters in alphabetical order, digit runs by value: sda, sdaa, sdb; nvme2n1 before nvme10n1.
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(),
              [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    return names;
}

QByteArray readIdentifyData(const QString &disk)
{
    const QByteArray device = QByteArray("/dev/") + QFile::encodeName(disk);
    const int fd = ::open(device.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray data(512, '\0');
    const bool ok = ::ioctl(fd, HDIO_GET_IDENTITY, data.data()) == 0;
    ::close(fd);
    return ok ? data : QByteArray();
}

QString readSysfsSerial(const QString &disk, const QString &sysBlock, const QString &udevData)
{
    const QString base = sysBlock + QLatin1Char('/') + disk;
    // NVMe and many SCSI drivers: device/serial; virtio: serial.
    for (const QString &file : {QStringLiteral("/device/serial"), QStringLiteral("/serial")}) {
        const QByteArray serial = readSmallFile(base + file);
        if (!serial.trimmed().isEmpty())
            return QString::fromLocal8Bit(serial).remove(QLatin1Char('\n'));
    }
    // SCSI unit serial number page: 4-byte header, then the page length's bytes.
    const QByteArray page = readSmallFile(base + QStringLiteral("/device/vpd_pg80"));
    if (page.size() > 4) {
        const int length = (quint8(page[2]) << 8) | quint8(page[3]);
        const QByteArray serial = page.mid(4, length);
        if (!serial.trimmed().isEmpty())
            return QString::fromLocal8Bit(serial);
    }
    const QString devNumbers = QString::fromLatin1(readSmallFile(base + QStringLiteral("/dev"))).trimmed();
    if (!devNumbers.isEmpty())
        return udevSerial(devNumbers, udevData);
    return {};
}

} // namespace platform
