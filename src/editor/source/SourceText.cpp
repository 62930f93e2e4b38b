#include "editor/source/SourceText.h"

#include <QStringDecoder>

#include <algorithm>

namespace textmodel {

const char *LineEndText(LineEnd form)
{
    switch (form) {
    case LineEnd::Lf:
        return "\n";
    case LineEnd::Cr:
        return "\r";
    case LineEnd::CrLf:
        break;
    }
    return "\r\n";
}

static constexpr char16_t kOtherEnds[] = {0x2029, 0xFDD0, 0xFDD1}; // in the order of their ends

QString LineEndString(int end, LineEnd usual)
{
    if (end >= kParagraphSeparatorEnd && end <= kFrameEndEnd)
        return QString(QChar(kOtherEnds[end - kParagraphSeparatorEnd]));
    return QString::fromLatin1(LineEndText(end >= 0 && end <= 2 ? LineEnd(end) : usual));
}

// Splits `text` into lines, joined by "\n" when `join`, noting in `ends` each line end's form
// (a LineEnd) and counting the forms. A line too long to lay out at once is split
// into pieces, which end in soft breaks: block ends that are no part of the text
// (kSoftBreakEnd in `ends`). Returns whether there are any.
static SplitText splitText(const QString &text, bool join)
{
    SplitText split;
    QString &joined = split.joined;
    std::vector<quint8> &ends = split.ends;
    int *counts = split.counts;
    if (join)
        joined.reserve(text.size());
    ends.clear();
    counts[0] = counts[1] = counts[2] = 0;
    bool soft = false;
    const qsizetype n = text.size();
    const QChar *p = text.constData();
    auto appendLine = [&](qsizetype from, qsizetype to) {
        const bool pieces = to - from > kLongLine;
        if (!join) {
            soft = soft || pieces;
            return;
        }
        while (pieces && to - from > kPiece) {
            // Cut after a ">" or a space near the piece's end if there is one, and
            // never inside a surrogate pair.
            qsizetype cut = from + kPiece;
            for (qsizetype k = cut; k > from + kPiece * 3 / 4; --k) {
                if (p[k - 1] == QLatin1Char('>') || p[k - 1] == QLatin1Char(' ')) {
                    cut = k;
                    break;
                }
            }
            if (p[cut - 1].isHighSurrogate())
                --cut;
            joined.append(QStringView(p + from, cut - from));
            joined.append(QLatin1Char('\n'));
            ends.push_back(kSoftBreakEnd);
            soft = true;
            from = cut;
        }
        joined.append(QStringView(p + from, to - from));
    };
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = p[i];
        const char16_t *other = std::find(std::begin(kOtherEnds), std::end(kOtherEnds), ch.unicode());
        if (ch != QLatin1Char('\r') && ch != QLatin1Char('\n') && other == std::end(kOtherEnds))
            continue;
        qsizetype next = i + 1;
        if (other != std::end(kOtherEnds)) { // kept as it is, and never the usual form
            appendLine(lineStart, i);
            if (join)
                joined.append(QLatin1Char('\n'));
            ends.push_back(quint8(kParagraphSeparatorEnd + (other - std::begin(kOtherEnds))));
            lineStart = next;
            continue;
        }
        LineEnd form = LineEnd::Lf;
        if (ch == QLatin1Char('\r')) {
            if (next < n && p[next] == QLatin1Char('\n')) {
                form = LineEnd::CrLf;
                ++next;
            } else {
                form = LineEnd::Cr;
            }
        }
        appendLine(lineStart, i);
        if (join)
            joined.append(QLatin1Char('\n'));
        ends.push_back(quint8(form));
        ++counts[int(form)];
        lineStart = next;
        i = next - 1;
    }
    appendLine(lineStart, n);
    split.pieces = soft;
    split.usual = LineEnd::CrLf; // a text without line ends is saved with CR LF
    if (counts[0] + counts[1] + counts[2] > 0) {
        int best = int(LineEnd::CrLf);
        for (int k = 0; k < 3; ++k)
            if (counts[k] > counts[best])
                best = k;
        split.usual = LineEnd(best);
    }
    return split;
}

// The common text, lines of one form none of them too long, counted by a vectorised
// search for each line's end rather than a look at every character. False when the
// text needs the full pass.
static bool countUniformLines(QStringView text, SplitText &split)
{
    for (char16_t c : kOtherEnds)
        if (text.contains(QChar(c)))
            return false;
    qsizetype lf = 0, crlf = 0, lineStart = 0;
    for (qsizetype i = text.indexOf(u'\n'); i >= 0; i = text.indexOf(u'\n', lineStart)) {
        const bool cr = i > 0 && text[i - 1] == u'\r';
        if (i - lineStart - (cr ? 1 : 0) > kLongLine)
            return false;
        ++(cr ? crlf : lf);
        lineStart = i + 1;
    }
    if (text.size() - lineStart > kLongLine || (lf > 0 && crlf > 0))
        return false;
    // Carriage returns only as halves of CR LF.
    qsizetype crs = 0;
    for (qsizetype i = text.indexOf(u'\r'); i >= 0 && crs <= crlf; i = text.indexOf(u'\r', i + 1))
        ++crs;
    if (crs != crlf)
        return false;
    split.counts[int(LineEnd::Lf)] = int(lf);
    split.counts[int(LineEnd::CrLf)] = int(crlf);
    split.usual = lf > 0 ? LineEnd::Lf : LineEnd::CrLf;
    return true;
}

SplitText SplitSourceText(const QString &text, Join join)
{
    if (join == Join::WholeLinesAsTheyAre) {
        SplitText uniform;
        if (countUniformLines(text, uniform))
            return uniform;
        SplitText lines = splitText(text, false);
        if (!lines.pieces)
            return lines;
    }
    return splitText(text, true);
}

DecodedText DecodeSourceBytes(const QByteArray &bytes)
{
    // Bytes that are not valid in the locale's encoding are read one byte per
    // character and written back the same way, so no byte of the file is lost.
    QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::ConvertInitialBom);
    DecodedText decoded{decoder.decode(bytes), false};
    if (decoder.hasError())
        decoded = {QString::fromLatin1(bytes), true};
    return decoded;
}

QString PlainLineEnds(const QString &text)
{
    const char16_t ends[] = {u'\r', 0x2029, 0xFDD0, 0xFDD1};
    const auto isEnd = [&ends](QChar c) {
        return std::find(std::begin(ends), std::end(ends), c.unicode()) != std::end(ends);
    };
    // A vectorised search per form finds the first, if any, in a big page at once.
    qsizetype first = text.size();
    for (char16_t c : ends)
        if (const qsizetype at = QStringView(text).left(first).indexOf(QChar(c)); at >= 0)
            first = at;
    if (first == text.size())
        return text;
    QString plain(text.size(), Qt::Uninitialized);
    const QChar *p = text.constData();
    const QChar *const end = p + text.size();
    QChar *out = std::copy(p, p + first, plain.data());
    for (p += first; p != end; ++p) {
        if (*p == u'\r' && p + 1 != end && p[1] == u'\n')
            continue; // the "\n" that follows stands for both
        *out++ = isEnd(*p) ? QChar(u'\n') : *p;
    }
    plain.truncate(out - plain.constData());
    return plain;
}

} // namespace textmodel
