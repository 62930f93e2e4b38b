#pragma once
// SHA-1 of whole files as they are read for a publish, through libcrypto (which libcurl
// loads anyway): its use of the processor's SHA instructions hashes a site several
// times faster than QCryptographicHash, with the same result.

#include <QByteArray>
#include <QByteArrayView>

namespace publish {

// The SHA-1 of `bytes`, 40 lower-case hex digits.
QByteArray Sha1Hex(QByteArrayView bytes);

} // namespace publish
