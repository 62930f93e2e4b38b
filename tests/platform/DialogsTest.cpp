#include "platform/Dialogs.h"
#include "common/RecordingDialogs.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Filters, WindowsFormBecomesQtForm)
{
    EXPECT_EQ(toQtFilter("Web Page (*.htm)|*.htm|All Files (*.*)|*.*"), "Web Page (*.htm);;All Files (*.*)");
    // A description without the pattern gets it appended; the blank before "JPG" is dropped.
    EXPECT_EQ(toQtFilter("GIF Files|*.gif| JPG Files|*.jpg;*.jpeg"),
              "GIF Files (*.gif);;JPG Files (*.jpg *.jpeg)");
    EXPECT_EQ(toQtFilter(""), "");
    EXPECT_EQ(toQtFilter("dangling"), "");
}

TEST(Dialogs, FallbackNeverBlocksAndDoubleRecords)
{
    EXPECT_EQ(dialogs().message("x", kAppTitle, Buttons::YesNo, Icon::None), Answer::No);
    EXPECT_TRUE(dialogs().openFile({}).isEmpty());
    {
        testing_support::RecordingDialogs d;
        d.answers.push_back(Answer::No);
        msgBox("Hello");
        EXPECT_EQ(dialogs().message("Sure?", kAppTitle, Buttons::YesNo, Icon::Information), Answer::No);
        ASSERT_EQ(d.messages.size(), 2u);
        EXPECT_EQ(d.messages[0].title, "Quillmark");
        EXPECT_EQ(d.messages[0].buttons, Buttons::Ok);
        EXPECT_EQ(d.messages[0].icon, Icon::None);
    }
    EXPECT_EQ(dialogs().message("x", kAppTitle, Buttons::Ok, Icon::None), Answer::Ok);
}
