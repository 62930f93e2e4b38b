// The cache of local file hashes, read back: only whole, well-formed entries are
// taken, and what is read writes back to text that reads the same.
#define FUZZ_WITH_QT
#include "FuzzSupport.h"
#include "publish/HashCache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(bytes), qsizetype(size));
    publish::HashEntries entries;
    if (!publish::ParseHashCache(text, entries)) {
        FUZZ_CHECK(entries.isEmpty(), text);
        return 0;
    }
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        FUZZ_CHECK(it.key().startsWith(QLatin1Char('/')) && it->hash.size() == 40, it.key());
        FUZZ_CHECK(it->sentSize >= 0 && it->sentSize <= it->stamp.size, it.key());
    }
    publish::HashEntries again;
    FUZZ_CHECK(publish::ParseHashCache(publish::FormatHashCache(entries), again), text);
    FUZZ_CHECK(again.size() == entries.size(), text);
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const auto other = again.constFind(it.key());
        FUZZ_CHECK(other != again.cend() && other->stamp == it->stamp && other->hash == it->hash &&
                       other->sentSize == it->sentSize && other->usedDay == it->usedDay,
                   it.key());
    }
    return 0;
}
