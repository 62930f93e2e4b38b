#include "editor/source/SourceText.h"

#include <QStringDecoder>
#include <QtAlgorithms>

#include <algorithm>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// What the quick road needs to know of a text, taken in one pass: its line feeds,
// its carriage returns and how many of them a line feed follows, the longest line
// between two line feeds (their distance less one; distances under 16 are not
// measured, being far below any limit) and the length of the line after the last,
// and whether any character is above U+2028 (the other line ends are).
struct LineCensus {
    qsizetype lf = 0, cr = 0, crlf = 0, longest = 0, tail = 0;
    bool above = false;
};

static LineCensus takeCensus(QStringView text)
{
    LineCensus c;
    const char16_t *const p = text.utf16();
    const qsizetype n = text.size();
    qsizetype lastLf = -1;
    bool afterCr = false;
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi16(u'\n'), cr = _mm_set1_epi16(u'\r'), bound = _mm_set1_epi16(0x2028);
    __m128i above = _mm_setzero_si128();
    for (; n - i >= 16; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i + 8));
        // One bit per character.
        const unsigned lfs =
            unsigned(_mm_movemask_epi8(_mm_packs_epi16(_mm_cmpeq_epi16(a, lf), _mm_cmpeq_epi16(b, lf))));
        const unsigned crs =
            unsigned(_mm_movemask_epi8(_mm_packs_epi16(_mm_cmpeq_epi16(a, cr), _mm_cmpeq_epi16(b, cr))));
        above = _mm_or_si128(above, _mm_or_si128(_mm_subs_epu16(a, bound), _mm_subs_epu16(b, bound)));
        if (crs) {
            c.cr += qPopulationCount(crs);
            c.crlf += qPopulationCount(crs & (lfs >> 1));
        }
        if (afterCr && (lfs & 1u))
            ++c.crlf;
        afterCr = (crs & 0x8000u) != 0;
        if (lfs) {
            c.lf += qPopulationCount(lfs);
            c.longest = qMax(c.longest, i + qCountTrailingZeroBits(lfs) - lastLf - 1);
            lastLf = i + 31 - qCountLeadingZeroBits(lfs);
        }
    }
    c.above = _mm_movemask_epi8(_mm_cmpeq_epi16(above, _mm_setzero_si128())) != 0xFFFF;
#endif
    for (; i < n; ++i) {
        const char16_t ch = p[i];
        if (ch == u'\n') {
            ++c.lf;
            c.crlf += afterCr ? 1 : 0;
            c.longest = qMax(c.longest, i - lastLf - 1);
            lastLf = i;
        } else if (ch == u'\r') {
            ++c.cr;
        } else if (ch > 0x2028) {
            c.above = true;
        }
        afterCr = ch == u'\r';
    }
    c.tail = n - lastLf - 1;
    return c;
}

// The common text, lines of one form none of them too long, counted in one pass over
// it rather than a look at every character by the full pass. False when the text
// needs the full pass.
static bool countUniformLines(QStringView text, SplitText &split)
{
    const LineCensus c = takeCensus(text);
    if (c.above)
        for (char16_t end : kOtherEnds)
            if (text.contains(QChar(end)))
                return false;
    const qsizetype lf = c.lf - c.crlf;
    // Carriage returns only as halves of CR LF, and one form throughout.
    if (c.cr != c.crlf || (lf > 0 && c.crlf > 0))
        return false;
    if (c.longest - (c.crlf > 0 ? 1 : 0) > kLongLine || c.tail > kLongLine)
        return false;
    split.counts[int(LineEnd::Lf)] = int(lf);
    split.counts[int(LineEnd::CrLf)] = int(c.crlf);
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

static bool localeReadsUtf8()
{
    static const bool utf8 = [] {
        const QByteArray sample("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
        QStringDecoder locale(QStringDecoder::System, QStringDecoder::Flag::Stateless);
        const QString text = locale.decode(sample);
        return !locale.hasError() && text == QString::fromUtf8(sample);
    }();
    return utf8;
}

QStringDecoder LocaleDecoder(QStringDecoder::Flags flags)
{
    return QStringDecoder(localeReadsUtf8() ? QStringDecoder::Utf8 : QStringDecoder::System, flags);
}

DecodedText DecodeSourceBytes(const QByteArray &bytes)
{
    // Bytes that are not valid in the locale's encoding are read one byte per
    // character and written back the same way, so no byte of the file is lost. A
    // sequence cut off at the end counts as not valid: a decoder that waited for the
    // rest would drop it.
    QStringDecoder decoder =
        LocaleDecoder(QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
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
