#pragma once
// The source view's text as a file holds it, without a widget: line ends of any
// form (remembered per line), lines too long to lay out at once cut into pieces,
// and the bytes of the file decoded so that saving gives them back.

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QtGlobal>
#include <vector>

namespace textmodel {

enum class LineEnd { Lf = 0, Cr = 1, CrLf = 2 };
// In SplitText::ends: the end of a piece of a long line, no part of the text.
constexpr quint8 kSoftBreakEnd = 3;
// In SplitText::ends: characters a text document takes as line ends too (U+2029,
// U+FDD0, U+FDD1), kept so that saving gives them back.
constexpr quint8 kParagraphSeparatorEnd = 4, kFrameStartEnd = 5, kFrameEndEnd = 6;
const char *LineEndText(LineEnd form);
// What ends a line whose end is `end` (a LineEnd or one of the ends above; any other
// value: the `usual` form).
QString LineEndString(int end, LineEnd usual);

// Lines longer than kLongLine characters are shown in pieces of about kPiece
// characters (laying out a line costs time in its whole length, on every change).
constexpr qsizetype kLongLine = 64 * 1024;
constexpr qsizetype kPiece = 1024;

struct SplitText {
    QString joined;                // the lines (and pieces) joined by "\n" (see Join)
    std::vector<quint8> ends;      // for each "\n" in `joined`: its LineEnd, or kSoftBreakEnd
    int counts[3] = {0, 0, 0};     // line ends of each form
    bool pieces = false;           // some line was cut into pieces
    LineEnd usual = LineEnd::CrLf; // the form most lines end in (CR LF when none)
};
// With `WholeLinesAsTheyAre`, `joined` is made only when some line is cut into
// pieces: otherwise the text itself holds the same lines (a text document reads
// "\r\n", "\r" and "\n" alike), and a big page is not copied once more. Then `ends`
// is left empty when every line ends in the usual form.
enum class Join { Always, WholeLinesAsTheyAre };
SplitText SplitSourceText(const QString &text, Join join = Join::Always);

// A place in a text, [start, start + length), and what it becomes.
struct Replacement {
    qsizetype start = 0;
    qsizetype length = 0;
    QString text;
};

struct DecodedText {
    QString text;
    bool oneBytePerCharacter = false; // not valid in the locale's encoding: read byte by byte
};
DecodedText DecodeSourceBytes(const QByteArray &bytes);
// A decoder of the locale's encoding: Qt's own UTF-8 decoder when the locale reads
// UTF-8, many times faster on a big page than the locale's.
QStringDecoder LocaleDecoder(QStringDecoder::Flags flags = QStringDecoder::Flag::Default);

// `text` as a source view filled with it gives it back: every line end (CR LF, CR,
// U+2029, and the text document's frame marks) one "\n". A text with nothing to
// change is shared, not copied.
QString PlainLineEnds(const QString &text);

} // namespace textmodel
