#include "DiskSerial.h"

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

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Runs of digits by value (then by length, so "01" and "1" still differ), anything
// else by code point. Not QCollator: its numeric mode does nothing in the C locale,
// and the first disk must not depend on the user's locale.
bool nameBefore(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (!isDigit(a[i]) || !isDigit(b[j])) {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i, ++j;
            continue;
        }
        const qsizetype startA = i, startB = j;
        while (i < a.size() && isDigit(a[i]))
            ++i;
        while (j < b.size() && isDigit(b[j]))
            ++j;
        const QStringView runA = QStringView(a).sliced(startA, i - startA);
        const QStringView runB = QStringView(b).sliced(startB, j - startB);
        const auto value = [](QStringView run) {
            while (run.size() > 1 && run.front() == QLatin1Char('0'))
                run = run.sliced(1);
            return run;
        };
        const QStringView valueA = value(runA), valueB = value(runB);
        if (valueA.size() != valueB.size())
            return valueA.size() < valueB.size();
        if (const int order = valueA.compare(valueB))
            return order < 0;
        if (runA.size() != runB.size())
            return runA.size() < runB.size();
    }
    return a.size() - i < b.size() - j;
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
    // sda, sdaa, sdb; nvme2n1 before nvme10n1.
    std::sort(names.begin(), names.end(), nameBefore);
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
