// Line and column of a check finding as a place in the source view's text.
#include "editor/logic/TextPosition.h"

#include <gtest/gtest.h>

using namespace editor;

TEST(TextPosition, LinesColumnsAndTokens)
{
    const QString text = "<p>\n<img src=\"a b.png\">\n\nend";
    EXPECT_EQ(TextPosition(text, 1, 1), 0);
    EXPECT_EQ(TextPosition(text, 2, 11), text.indexOf("a b"));
    EXPECT_EQ(TextPosition(text, 2, 99), text.indexOf("\n\n")); // past the line's end: its end
    EXPECT_EQ(TextPosition(text, 3, 1), text.indexOf("\n\n") + 1);
    EXPECT_EQ(TextPosition(text, 9, 1), text.size());
    EXPECT_EQ(TokenLength(text, text.indexOf("a b")), 1);                 // up to the blank
    EXPECT_EQ(TokenLength(text, text.indexOf("<img")), 4);                // a tag's name
    EXPECT_EQ(TokenLength("x <ZOR_A><b>", 2), QString("<ZOR_A>").size()); // up to and with ">"
    EXPECT_EQ(TokenLength(text, text.size()), 1);
}
