// Colour runs of the source colouring pass, letter by letter.
#include "ColorLetters.h"
#include "editor/logic/SourceColoring.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace editor;

namespace {

// One letter per character, k for untouched text.
QString letters(const QString &text, int start = 1)
{
    return editor_testing::runLetters(rangeColorRuns(text, start), text.size(), 'k');
}

} // namespace

// Tags, values and comments: the reference page.
TEST(ColoringRuns, UnterminatedInputStopsThePassAndTheStartCounts)
{
    // A comment without an end, or a "<" without a later ">", stops the pass; a ">"
    // without a tag is text.
    EXPECT_EQ(letters("<b>x<!-- open <i>y</i>"), "BBB" + QString(19, 'k'));
    EXPECT_EQ(letters("<b>x< and more"), "BBB" + QString(11, 'k'));
    EXPECT_EQ(letters("no tags at all > here"), QString(21, 'k'));
    // "<!-" opens a comment as well as "<!--" does; it ends at the next "->", even
    // one that shares the opening's dashes.
    EXPECT_EQ(letters("<!-x->y<b>"), "GGGGGGkBBB");
    EXPECT_EQ(letters("<!->y<!-->z<b>"), "GGGGkGGGGGkBBB");
    // Only tags from the start position on; 0 counts as 1.
    EXPECT_EQ(letters("<b>x<i>", 4), "kkkkBBB");
    EXPECT_EQ(letters("<b>x<i>", 0), "BBBkBBB");
}

TEST(ColoringRuns, HostileTextGivesRunsInsideTheText)
{
    QString binary;
    for (int i = 0; i < 4096; ++i)
        binary += QChar(char16_t((i * 7919) % 256));
    // Degenerate tags, stray quotes and equals signs, binary noise.
    for (const QString &text : {QStringLiteral("<=><a b=\"c><\"d e=>< =\" \"=>\"<!->x"), binary})
        for (const textmodel::ColorRun &run : rangeColorRuns(text)) {
            EXPECT_GE(run.start, 0);
            EXPECT_LE(run.start + run.length, text.size());
        }
}

// A replacement that ShapesColoring lets through changes no colour of the pass.
TEST(ColoringRuns, ReplacingTextThatShapesNothingKeepsEveryColour)
{
    EXPECT_FALSE(ShapesColoring(u"Buy_it2\tnow"));
    const QString alphabet = QStringLiteral("<>=\" !-ab\t");
    QRandomGenerator gen(3);
    for (int round = 0; round < 2000; ++round) {
        QString text;
        for (int i = 0; i < 16; ++i)
            text += alphabet.at(gen.bounded(int(alphabet.size())));
        const int at = int(gen.bounded(16));
        const QString replaced = QString(text).replace(at, 1, alphabet.at(gen.bounded(int(alphabet.size()))));
        if (!ShapesColoring(QStringView(text).mid(at, 1)) &&
            !ShapesColoring(QStringView(replaced).mid(at, 1))) {
            ASSERT_EQ(letters(replaced), letters(text)) << text.toStdString();
        }
    }
}
