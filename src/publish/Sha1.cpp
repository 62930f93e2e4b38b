#include "publish/Sha1.h"

#include <QCryptographicHash>
#include <openssl/evp.h>

namespace publish {

QByteArray Sha1Hex(QByteArrayView bytes)
{
    // Fetched once: a fetch each time costs more than hashing a small file.
    static EVP_MD *const sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (sha1 && EVP_Digest(bytes.data(), size_t(bytes.size()), digest, &size, sha1, nullptr) == 1 &&
        size == 20)
        return QByteArray(reinterpret_cast<const char *>(digest), int(size)).toHex();
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex(); // libcrypto without SHA-1
}

} // namespace publish
