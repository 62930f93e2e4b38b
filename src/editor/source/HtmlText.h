#pragma once
// Text of HTML files as bytes: one encoder for both editing views.

#include <QByteArray>
#include <QString>

namespace textmodel {

// One byte per character for characters up to U+00FF; every other character
// becomes a numeric character reference ("&#8364;"), which HTML reads back as the
// same character. For pages kept in a one-byte character set.
QByteArray ToLatin1WithReferences(const QString &text);

// The text in the locale's encoding, or with `oneBytePerCharacter` as above.
QByteArray EncodeHtmlText(const QString &text, bool oneBytePerCharacter);

} // namespace textmodel
