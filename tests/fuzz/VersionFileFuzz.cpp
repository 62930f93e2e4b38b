// A stored version file, read back: every file it names stays inside the folder a
// roll-back writes to, and what is read writes back to text that reads the same. The
// same bytes as a pack of copies: every copy it names lies inside it, one after another.
#define FUZZ_WITH_QT
#include "FuzzSupport.h"
#include "publish/VersionStore.h"

#include <QBuffer>
#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(bytes), qsizetype(size));
    QBuffer pack;
    pack.setData(QByteArray("Quillmark pack 1\n") + text);
    pack.open(QIODevice::ReadOnly);
    qint64 end = 0;
    for (const publish::PackEntry &e : publish::ReadPackEntries(pack, pack.size())) {
        FUZZ_CHECK(e.offset > end && e.size >= 0 && e.offset + e.size <= pack.size() && e.hash.size() == 40,
                   text);
        end = e.offset + e.size;
    }
    publish::Version version;
    if (!publish::ParseVersion(text, version))
        return 0;
    FUZZ_CHECK(!version.files.isEmpty() && version.time.isValid(), text);
    for (const publish::VersionFile &f : std::as_const(version.files)) {
        const QString path = QDir::cleanPath(QStringLiteral("/folder/") + f.remote);
        FUZZ_CHECK(path.startsWith(QLatin1String("/folder/")) &&
                       path == QStringLiteral("/folder/") + f.remote,
                   f.remote);
        FUZZ_CHECK(f.size >= 0 && f.hash.size() == 40, f.remote);
    }
    publish::Version again;
    FUZZ_CHECK(publish::ParseVersion(publish::FormatVersion(version), again), text);
    FUZZ_CHECK(again.files.size() == version.files.size() && again.time == version.time, text);
    for (int i = 0; i < version.files.size(); ++i)
        FUZZ_CHECK(again.files[i].remote == version.files[i].remote &&
                       again.files[i].local == version.files[i].local &&
                       again.files[i].hash == version.files[i].hash &&
                       again.files[i].size == version.files[i].size,
                   text);
    return 0;
}
