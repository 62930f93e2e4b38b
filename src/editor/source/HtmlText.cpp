#include "editor/source/HtmlText.h"

#include <QStringEncoder>

namespace textmodel {

QByteArray ToLatin1WithReferences(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t ucs = text.at(i).unicode();
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ucs = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        if (ucs < 0x100)
            bytes.append(char(ucs));
        else
            bytes.append("&#" + QByteArray::number(uint(ucs)) + ';');
    }
    return bytes;
}

QByteArray EncodeHtmlText(const QString &text, bool oneBytePerCharacter)
{
    if (oneBytePerCharacter)
        return ToLatin1WithReferences(text);
    QStringEncoder encoder(QStringEncoder::System);
    return encoder.encode(text);
}

} // namespace textmodel
