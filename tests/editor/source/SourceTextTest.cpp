// The source view's text store and colour spans, and the HTML text encoder, without
// a widget.
#include "editor/source/SourceText.h"
#include "editor/source/ColorSpans.h"
#include "editor/source/HtmlText.h"

#include <QRandomGenerator>
#include <QStringList>
#include <algorithm>
#include <gtest/gtest.h>

using namespace textmodel;

TEST(SourceText, LineEndsArePerLineAndLongLinesComeInPieces)
{
    const SplitText split = SplitSourceText(QStringLiteral("a\r\nb\nc\r\nd\re"));
    EXPECT_EQ(split.joined, QStringLiteral("a\nb\nc\nd\ne"));
    EXPECT_EQ(split.ends, (std::vector<quint8>{2, 0, 2, 1}));
    EXPECT_EQ(split.usual, LineEnd::CrLf);
    EXPECT_FALSE(split.pieces);
    EXPECT_EQ(SplitSourceText(QStringLiteral("no end")).usual, LineEnd::CrLf);
    // As many of another form as of CR LF: new lines still get CR LF.
    EXPECT_EQ(SplitSourceText(QStringLiteral("a\nb\r\nc\rd\r\ne\n")).usual, LineEnd::CrLf);

    const QString longLine = QStringLiteral("<p>x</p>").repeated(int(kLongLine / 8) + 10);
    const SplitText pieces = SplitSourceText(longLine + QStringLiteral("\nz"));
    EXPECT_TRUE(pieces.pieces);
    EXPECT_EQ(pieces.usual, LineEnd::Lf);
    EXPECT_EQ(pieces.ends.back(), quint8(LineEnd::Lf));
    QString rejoined = pieces.joined;
    // Dropping the soft breaks gives the text back; pieces end after a ">".
    qsizetype at = 0;
    for (quint8 end : pieces.ends) {
        at = rejoined.indexOf(QLatin1Char('\n'), at);
        if (end == kSoftBreakEnd) {
            EXPECT_EQ(rejoined.at(at - 1), QLatin1Char('>'));
            rejoined.remove(at, 1);
        } else {
            ++at;
        }
    }
    EXPECT_EQ(rejoined, longLine + QStringLiteral("\nz"));
    // Nor inside a surrogate pair.
    const QString emoji = QStringLiteral("\U0001F600");
    EXPECT_EQ(SplitSourceText(emoji.repeated(kLongLine)).joined.count(emoji), kLongLine);

    // The other line ends come back as the file held them; the view shows each as a "\n".
    const QString mixed = QStringLiteral("a\u2029b\uFDD0c\uFDD1d\re\r\nf\ng");
    const SplitText other = SplitSourceText(mixed);
    const QStringList lines = other.joined.split('\n');
    QString back = lines[0];
    for (size_t k = 0; k < other.ends.size(); ++k)
        back += LineEndString(other.ends[k], other.usual) + lines[int(k) + 1];
    EXPECT_EQ(back, mixed);
    EXPECT_EQ(PlainLineEnds(mixed), other.joined);

    // Without joining, the same forms and pieces are found, whatever the mix.
    const QString nearlyLong(kLongLine, 'x');
    for (const QString &text : QStringList{
             QStringLiteral("a\r\nb\r\n"), QStringLiteral("a\nb"), QStringLiteral("a\rb"),
             QStringLiteral("a\r\nb\nc"), QStringLiteral("a\r\n\rb"), QStringLiteral("a\r"),
             QStringLiteral("\r\n"), QStringLiteral("a\u2029b\n"),
             QStringLiteral("a\u2029b\n") + QString(16, 'c'), QString(), nearlyLong + "\r\n",
             nearlyLong + "x\r\n", "\n" + nearlyLong, "\n" + nearlyLong + "x",
             QString(kLongLine / 2 + 5, 'y') + "\n" + nearlyLong + "x\nz", "a\n" + nearlyLong + "\nz"}) {
        const SplitText full = SplitSourceText(text),
                        counted = SplitSourceText(text, Join::WholeLinesAsTheyAre);
        EXPECT_EQ(std::vector<int>(counted.counts, counted.counts + 3),
                  std::vector<int>(full.counts, full.counts + 3));
        EXPECT_EQ(counted.usual, full.usual);
        EXPECT_EQ(counted.pieces, full.pieces) << text.size();
        // No ends noted: every line ends in the usual form.
        EXPECT_TRUE(counted.ends.empty() ? std::all_of(full.ends.begin(), full.ends.end(),
                                                       [&](quint8 e) { return e == quint8(full.usual); })
                                         : counted.ends == full.ends)
            << text.left(40).toStdString();
    }
}

TEST(SourceText, BytesInvalidInTheLocaleAreKeptOneByteEachAndWrittenBack)
{
    const QByteArray bytes("caf\xe9 \x80");
    const DecodedText decoded = DecodeSourceBytes(bytes);
    ASSERT_TRUE(decoded.oneBytePerCharacter);
    EXPECT_EQ(EncodeHtmlText(decoded.text, true), bytes);
    // Characters beyond one byte become references; astral ones as one reference.
    EXPECT_EQ(EncodeHtmlText(decoded.text + QStringLiteral("\u00ff\u0100\u20ac\U0001F600"), true),
              bytes + "\xff&#256;&#8364;&#128512;");
    // A lone half of a pair stands as it is, and takes nothing after it along.
    EXPECT_EQ(EncodeHtmlText(QString(QChar(0xD83D)) + "x", true), QByteArray("&#55357;x"));
    EXPECT_FALSE(DecodeSourceBytes("plain").oneBytePerCharacter);
    // A character cut off at the end of the file is kept too.
    const DecodedText cut = DecodeSourceBytes("caf\xc3\xa9 \xe2\x82");
    ASSERT_TRUE(cut.oneBytePerCharacter);
    EXPECT_EQ(EncodeHtmlText(cut.text, true), QByteArray("caf\xc3\xa9 \xe2\x82"));
}

TEST(ColorSpans, EditsMoveColoursAndRunsPaintOver)
{
    ColorSpans spans;
    // "<b>x</b>" (9 positions with the document's end): tags blue.
    EXPECT_TRUE(spans.overlay({{0, 8, 0xFF0000}, {3, 1, 0}}, 9));
    EXPECT_EQ(spans.colorAt(2), 0xFF0000u);
    EXPECT_EQ(spans.colorAt(3), 0u);
    EXPECT_FALSE(spans.overlay({{8, 4, 0x00FF00}}, 9)); // past the text
    // Two characters typed after "x" in its colour, one removed from the tag.
    spans.edit(4, 0, 2, 0);
    EXPECT_EQ(spans.colorAt(5), 0u);
    EXPECT_EQ(spans.colorAt(6), 0xFF0000u);
    spans.edit(0, 1, 0, 0);
    std::vector<std::tuple<int, int, ColorValue>> pieces;
    spans.forEach(0, 9, [&](int from, int to, ColorValue c) { pieces.emplace_back(from, to, c); });
    EXPECT_EQ(pieces,
              (std::vector<std::tuple<int, int, ColorValue>>{{0, 2, 0xFF0000}, {2, 5, 0}, {5, 9, 0xFF0000}}));
    spans.reset();
    EXPECT_EQ(spans.spans().size(), 1u);

    // Many edits in one pass give the spans their edits one by one (from the last) give,
    // and a slice assigned back restores its range.
    QRandomGenerator gen(5);
    for (int round = 0; round < 200; ++round) {
        ColorSpans one, many;
        for (int k = 0; k < 6; ++k)
            one.edit(int(gen.bounded(40)), 0, int(gen.bounded(1, 8)), ColorValue(gen.bounded(3)));
        many = one;
        std::vector<ColorSpans::Edit> edits;
        for (int at = int(gen.bounded(4)); at < 40; at += edits.back().removed + int(gen.bounded(8)))
            edits.push_back({at, int(gen.bounded(3)), int(gen.bounded(3)), ColorValue(gen.bounded(3))});
        const auto kept = one.slice(2, 30);
        for (auto e = edits.rbegin(); e != edits.rend(); ++e)
            one.edit(e->position, e->removed, e->added, e->inserted);
        many.editMany(edits);
        ASSERT_EQ(many.spans(), one.spans()) << "round " << round;
        many.assign(2, 30, kept);
        ASSERT_EQ(many.slice(2, 30), kept);
    }
}
