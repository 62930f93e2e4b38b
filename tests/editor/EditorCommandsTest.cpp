// The main window's commands beyond the toolbar's formatting keys: find and replace,
// the preview at device widths and the recent pages, with the real views.
#include "EditorWindow.h"
#include "common/Spelling.h"
#include "common/TestSupport.h"
#include "editor/FindReplaceDialog.h"

#include <memory>

using platform::Answer;

namespace {

class EditorCommands : public EditorWindow {
protected:
    editor::FindReplaceDialog *findWindow() const { return window->findChild<editor::FindReplaceDialog *>(); }
    template <class T> T *field(const char *name) const { return findWindow()->findChild<T *>(name); }
    // Opens the find window for `what` with the given options.
    void lookFor(const QString &what, bool matchCase = false, bool word = false, bool regex = false)
    {
        window->toolbarAction("find")->trigger();
        ASSERT_NE(findWindow(), nullptr);
        field<QLineEdit>("txtFind")->setText(what);
        field<QCheckBox>("chkMatchCase")->setChecked(matchCase);
        field<QCheckBox>("chkWholeWord")->setChecked(word);
        field<QCheckBox>("chkRegex")->setChecked(regex);
    }
    QString selected() const { return sourceView()->SelText(); }
};

} // namespace

TEST_F(EditorCommands, FormatIndentsTheSourceAsOneStepToUndo)
{
    openWith("format.htm", "<p>x</p>");
    EXPECT_FALSE(window->formatSource()); // the design view is in front
    window->switchTab(1);
    sourceView()->setText("<div>\r\n<p>a</p>\r\n</div>\r\n");
    window->toolbarAction("format")->trigger(); // Ctrl+Shift+F
    EXPECT_EQ(sourceView()->Text(), "<div>\n  <p>a</p>\n</div>\n");
    EXPECT_EQ(sourceView()->fileBytes(), "<div>\r\n  <p>a</p>\r\n</div>\r\n");
    EXPECT_FALSE(window->formatSource());
    sourceView()->undo();
    EXPECT_EQ(sourceView()->Text(), "<div>\n<p>a</p>\n</div>\n");
}

TEST_F(EditorCommands, FindInTheSourceByWordCaseAndPattern)
{
    openWith("find.htm", "<p>Buy now</p>\r\n<p>buyer BUY</p>\r\n");
    window->switchTab(1);
    lookFor("buy");
    EXPECT_TRUE(window->findNext(false));
    EXPECT_EQ(sourceView()->SelStart(), 3);
    window->toolbarAction("findnext")->trigger(); // F3
    EXPECT_EQ(sourceView()->SelStart(), 18);
    window->toolbarAction("findprevious")->trigger(); // Shift+F3
    EXPECT_EQ(sourceView()->SelStart(), 3);
    field<QPushButton>("cmdFindNext")->click();
    EXPECT_EQ(sourceView()->SelStart(), 18);
    field<QPushButton>("cmdFindPrevious")->click();
    EXPECT_EQ(sourceView()->SelStart(), 3);

    lookFor("buy", false, true);
    window->findNext(false);
    EXPECT_EQ(selected(), "BUY"); // "buyer" is no whole word
    lookFor("BUY", true);
    sourceView()->setSelStart(0);
    window->findNext(false);
    EXPECT_EQ(sourceView()->SelStart(), 24);
    lookFor("<p>(\\w+)", false, false, true);
    sourceView()->setSelStart(5);
    window->findNext(false);
    EXPECT_EQ(selected(), "<p>buyer");
    lookFor("nothing here");
    EXPECT_FALSE(window->findNext(false));
    EXPECT_EQ(field<QLabel>("lblStatus")->text(), "Not found.");
    lookFor("(", false, false, true);
    EXPECT_FALSE(window->findNext(false));
    EXPECT_TRUE(field<QLabel>("lblStatus")->text().startsWith("The regular expression is not valid"));
}

// The design view and the preview search their page, by case when asked.
TEST_F(EditorCommands, FindInTheDesignViewByCase)
{
    openWith("find.htm", "<p>Buy now, buyer, BUY</p>");
    ASSERT_EQ(window->currentTab(), 0);
    lookFor("buy", true);
    QLabel *status = field<QLabel>("lblStatus");
    EXPECT_TRUE(window->findNext(false));
    EXPECT_TRUE(testing_support::waitFor([&] { return status->text() == "1 of 1"; }))
        << status->text().toStdString();
    lookFor("buy");
    EXPECT_TRUE(window->findNext(false));
    EXPECT_TRUE(testing_support::waitFor([&] { return status->text().endsWith(" of 3"); }))
        << status->text().toStdString();
}

TEST_F(EditorCommands, ReplaceOneAndAllInOneUndoStep)
{
    const QString page = openWith("replace.htm", "<b>one</b> <i>x</i> <b>two</b>\r\n");
    window->switchTab(1);
    lookFor("<b>(\\w+)</b>", false, false, true);
    field<QLineEdit>("txtReplace")->setText("<strong>\\1</strong>");
    EXPECT_TRUE(field<QPushButton>("cmdReplaceAll")->isEnabled());
    // Replace takes the selected match only, then selects the next one.
    window->replaceOne();
    EXPECT_EQ(selected(), "<b>one</b>");
    window->replaceOne();
    EXPECT_EQ(sourceView()->Text(), "<strong>one</strong> <i>x</i> <b>two</b>\n");
    EXPECT_EQ(selected(), "<b>two</b>");
    sourceView()->undo();

    // Replacing with nothing asks first; No deletes nothing.
    field<QLineEdit>("txtReplace")->clear();
    dialogs.answers = {Answer::No, Answer::Yes};
    EXPECT_EQ(window->replaceAll(), 0);
    EXPECT_EQ(sourceView()->Text(), "<b>one</b> <i>x</i> <b>two</b>\n");
    EXPECT_EQ(window->replaceAll(), 2);
    EXPECT_EQ(sourceView()->Text(), " <i>x</i> \n");
    EXPECT_EQ(dialogs.messages.size(), 2u);
    sourceView()->undo();
    // Tab goes from what to find to its replacement, then the options, then the buttons.
    QWidget *focus = field<QLineEdit>("txtFind");
    for (const char *next : {"txtReplace", "chkMatchCase", "chkWholeWord", "chkRegex", "cmdFindNext"}) {
        focus = focus->nextInFocusChain();
        while (!(focus->focusPolicy() & Qt::TabFocus))
            focus = focus->nextInFocusChain();
        EXPECT_EQ(focus->objectName(), next);
    }
    field<QLineEdit>("txtReplace")->setText("<strong>\\1</strong>");

    EXPECT_EQ(window->replaceAll(), 2);
    EXPECT_EQ(sourceView()->Text(), "<strong>one</strong> <i>x</i> <strong>two</strong>\n");
    EXPECT_EQ(field<QLabel>("lblStatus")->text(), "Replaced 2.");
    EXPECT_EQ(sourceView()->colorAt(28), 0xFF0000u); // the new tags are blue
    sourceView()->undo();
    EXPECT_EQ(sourceView()->Text(), "<b>one</b> <i>x</i> <b>two</b>\n");
    // Saving writes the file's own line ends.
    sourceView()->redo();
    EXPECT_TRUE(window->save());
    EXPECT_EQ(testing_support::readAll(page), "<strong>one</strong> <i>x</i> <strong>two</strong>\r\n");

    // The design view finds but does not replace.
    window->switchTab(0);
    lookFor("strong");
    EXPECT_FALSE(field<QPushButton>("cmdReplaceAll")->isEnabled());
    EXPECT_FALSE(field<QCheckBox>("chkRegex")->isEnabled());
    lookFor("two");
    window->findNext(false);
    EXPECT_TRUE(testing_support::waitFor([&] { return field<QLabel>("lblStatus")->text() == "1 of 1"; }))
        << field<QLabel>("lblStatus")->text().toStdString();
}

TEST_F(EditorCommands, ThePreviewShowsThePageAtDeviceWidths)
{
    openWith("wide.htm", "<html><body>wide</body></html>");
    window->show();
    window->switchTab(2);
    auto *widths = window->findChild<QComboBox *>("cmbPreviewWidth");
    ASSERT_NE(widths, nullptr);
    EXPECT_TRUE(widths->isVisible());
    auto *preview = previewView();
    const auto innerWidth = [&] {
        const auto width = std::make_shared<int>(-1); // outlives a late answer
        preview->page()->runJavaScript("window.innerWidth",
                                       [width](const QVariant &v) { *width = v.toInt(); });
        return testing_support::waitFor([&] { return *width >= 0; }) ? *width : -1;
    };
    // The offscreen screen is narrow: a width beyond the tab's is the tab's.
    const int full = preview->width();
    EXPECT_GT(full, 390);
    for (const auto &[caption, pixels] :
         {std::pair<const char *, int>{"Phone (390 px)", 390}, {"Tablet (768 px)", 768}}) {
        widths->setCurrentText(caption);
        const int shown = qMin(pixels, full);
        EXPECT_EQ(preview->width(), shown);
        EXPECT_EQ(preview->x(), (full - shown) / 2);
        EXPECT_TRUE(testing_support::waitFor([&] { return innerWidth() == shown; })) << caption;
    }
    widths->setCurrentText("Full width");
    EXPECT_EQ(preview->width(), full);
    window->switchTab(0);
    EXPECT_FALSE(widths->isVisible());
}

TEST_F(EditorCommands, OpenRecentListsTheLastPagesNewestFirst)
{
    const QString first = openWith("first.htm", "<html><body>1</body></html>");
    const QString second = openWith("second.htm", "<html><body>2</body></html>");
    auto *menu = window->findChild<QMenu *>("mnuOpenRecent");
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions().at(0)->text(), second);
    // Nothing unsaved: no question.
    menu->actions().at(1)->trigger();
    EXPECT_EQ(window->currentFile(), first);
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
    // An edit not saved: No keeps the page and its edit, Yes opens the other.
    window->switchTab(1);
    sourceView()->setText("<html><body>1 edited</body></html>");
    dialogs.answers = {Answer::No};
    EXPECT_FALSE(window->openRecent(second));
    EXPECT_EQ(window->currentFile(), first);
    EXPECT_EQ(dialogs.lastMessage(), "This will clear all your work. Are you sure you want to continue?");
    EXPECT_TRUE(window->hasUnsavedChanges());
    dialogs.answers = {Answer::Yes};
    EXPECT_TRUE(window->openRecent(second));
    EXPECT_EQ(window->currentFile(), second);
    dialogs.messages.clear();

    QFile::remove(second);
    EXPECT_FALSE(window->openRecent(second));
    EXPECT_EQ(dialogs.lastMessage(), "The page " + second + " is no longer there.");
    emit menu->aboutToShow();
    EXPECT_EQ(menu->actions().size(), 1);
}

TEST_F(EditorCommands, TheDesignViewMarksAMisspeltWordAndSuggestsTheRightOne)
{
    auto *design = designView();
    ASSERT_TRUE(platform::DesignView::spellingLanguages().contains("en-US"));
    EXPECT_EQ(design->spellingLanguage(), "en-US");
    openWith("spell.htm", "<html><body><p id=t>Order today and recieve a bonus</p></body></html>");
    QMenu *shown = testing_support::menuOnMisspeltWord(*design, "t", "recieve");
    ASSERT_TRUE(shown);
    QStringList texts;
    for (QAction *action : shown->actions())
        texts << action->text();
    EXPECT_TRUE(texts.contains("receive")) << texts.join(", ").toStdString();
    for (QAction *action : shown->actions())
        if (action->text() == "receive")
            action->trigger();
    shown->close();
    EXPECT_TRUE(
        testing_support::waitFor([&] { return design->DocumentHTML().contains("and receive a bonus"); }));
}
