// Colour runs of the source colouring pass, letter by letter, and the typing rules.
#include "editor/logic/SourceColoring.h"

#include <gtest/gtest.h>

using namespace editor;

namespace {

// One letter per character: k black (untouched), B blue, R red, G green; later runs
// paint over earlier ones, as the view applies them.
QString letters(const QString &text, int start = 1, int end = -1)
{
    QString out(text.size(), QLatin1Char('k'));
    for (const platform::ColorRun &run : rangeColorRuns(text, start, end)) {
        const QChar c = run.color == kColorTag ? 'B' : run.color == kColorValue ? 'R' : 'G';
        for (int i = run.start; i < run.start + run.length; ++i)
            out[i] = c;
    }
    return out;
}

} // namespace

TEST(ColoringRuns, TagsComeOutLetterForLetter)
{
    EXPECT_EQ(letters(R"(<a href="x.htm" target=_blank>go</a>)"), "BBBBBBBBRRRRRRRBBBBBBBBRRRRRRBkkBBBB");
    EXPECT_EQ(letters(R"(<td width="50%" class="x">)"), "BBBBBBBBBBRRRRRBBBBBBBRRRB");
    EXPECT_EQ(letters(R"(<input type="checkbox" checked>)"), "BBBBBBBBBBBBRRRRRRRRRRBBBBBBBBB");
    // Quoted values keep their spaces; line ends count one character each.
    EXPECT_EQ(letters("x\n<p title=\"a b\">\n</p>"), "kkBBBBBBBBBRRRRRBkBBBB");
}

TEST(ColoringRuns, CommentsAndUnterminatedInput)
{
    EXPECT_EQ(letters("a <!-- <b>x</b> --> <i>"), "kk" + QString(17, 'G') + "kBBB");
    // A comment without an end stops the pass: the tag after it stays uncoloured.
    EXPECT_EQ(letters("<b>x<!-- open <i>y</i>"), "BBB" + QString(19, 'k'));
    // So does a "<" without a later ">".
    EXPECT_EQ(letters("<b>x< and more"), "BBB" + QString(11, 'k'));
    EXPECT_TRUE(rangeColorRuns("no tags at all > here").empty());
    EXPECT_TRUE(rangeColorRuns(QString()).empty());
}

TEST(ColoringRuns, RangeLimitsAndHostileText)
{
    // Only tags from the start position on; 0 counts as 1.
    EXPECT_EQ(letters("<b>x<i>", 4), "kkkkBBB");
    EXPECT_EQ(letters("<b>x<i>", 0), "BBBkBBB");
    // The pass ends on degenerate tags and stray quotes or equals signs.
    const QString odd = QStringLiteral("<=><a b=\"c><\"d e=>< =\" \"=>\"<!->x");
    const platform::ColorRuns runs = rangeColorRuns(odd);
    for (const platform::ColorRun &run : runs) {
        EXPECT_GE(run.start, 0);
        EXPECT_LE(run.start + run.length, odd.size());
    }
    QString binary;
    for (int i = 0; i < 4096; ++i)
        binary += QChar(char16_t((i * 7919) % 256));
    for (const platform::ColorRun &run : rangeColorRuns(binary))
        EXPECT_LE(run.start + run.length, binary.size());
}

namespace {

// Types `keys` through the rules; returns the colour letter each rule set ('.' when
// the character keeps the colour in force, '-' when it was swallowed).
QString typeKeys(TypingState &state, const QString &keys, QChar before = QChar())
{
    QString out;
    for (QChar ch : keys) {
        const TypedCharAction a = typedCharAction(state, ch.unicode(), before);
        before = ch;
        if (a.key == 0)
            out += '-';
        else if (!a.color)
            out += '.';
        else
            out += *a.color == kColorTag       ? 'B'
                   : *a.color == kColorValue   ? 'R'
                   : *a.color == kColorComment ? 'G'
                                               : 'k';
    }
    return out;
}

} // namespace

TEST(ColoringTyping, TagsValuesAndQuotes)
{
    TypingState s;
    EXPECT_EQ(typeKeys(s, R"(a <p class="x y">b)"), "kkB.B......RRRRRBk");
    EXPECT_EQ(s, TypingState());
}

TEST(ColoringTyping, UnquotedValueLeavesValueFlagSet)
{
    TypingState s;
    EXPECT_EQ(typeKeys(s, "<a href=x>"), "B.B.....RB");
    EXPECT_TRUE(s.InValue);
    EXPECT_FALSE(s.InTag);
    // Text after it keeps the colour in force; the next tag is red from its second
    // character to its first space.
    EXPECT_EQ(typeKeys(s, "t<br x>", QLatin1Char('>')), ".BRRB.B");
}

TEST(ColoringTyping, CommentOpening)
{
    TypingState s;
    const TypedCharAction a = typedCharAction(s, '!', QLatin1Char('<'));
    EXPECT_EQ(a.key, 0);
    EXPECT_TRUE(a.openComment);
    EXPECT_TRUE(s.InComment);
    EXPECT_EQ(typeKeys(s, "note->x", QLatin1Char('-')), ".....Gk");
    EXPECT_FALSE(s.InComment);
    // At the very start of the text there is no "<" before the caret.
    TypingState fresh;
    const TypedCharAction plain = typedCharAction(fresh, '!', QChar());
    EXPECT_EQ(plain.key, '!');
    EXPECT_FALSE(plain.openComment);
}
