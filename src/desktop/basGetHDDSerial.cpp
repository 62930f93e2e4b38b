#include "desktop/basGetHDDSerial.h"

#include "platform/DiskSerial.h"

#include <utility>

namespace desktop {

QString g_sMachineID;

namespace {

// Blanks and the NUL padding some drives use; a NUL left inside would cut the
// identifier short wherever it is passed on as C text.
QString trimSerial(QString text)
{
    const auto isPad = [](QChar c) { return c == QLatin1Char(' ') || c == QChar(0); };
    int begin = 0;
    int end = text.size();
    while (begin < end && isPad(text.at(begin)))
        ++begin;
    while (end > begin && isPad(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QString DecodeIdentifySerial(const QByteArray &identifyData)
{
    constexpr int kOffset = 20; // ATA words 10 to 19
    constexpr int kLength = 20;
    if (identifyData.size() < kOffset + kLength)
        return {};
    QByteArray serial = identifyData.mid(kOffset, kLength);
    // Each two-character word is stored high byte first.
    for (int i = 0; i + 1 < serial.size(); i += 2)
        std::swap(serial[i], serial[i + 1]);
    return trimSerial(QString::fromLocal8Bit(serial));
}

QString GetHDDSerial(const QString &sysBlock, const QString &udevData)
{
    const QStringList disks = platform::diskNames(sysBlock);
    if (disks.isEmpty())
        return kSerialNotPresent;
    const QString &first = disks.first();
    QString serial = DecodeIdentifySerial(platform::readIdentifyData(first));
    if (serial.isEmpty())
        serial = trimSerial(platform::readSysfsSerial(first, sysBlock, udevData));
    return serial.isEmpty() ? kSerialNotPresent : serial;
}

} // namespace desktop
