// The "check" command of the main window: the findings panel below the views, and a
// double-click that selects the finding's place in the source view.
#include "editor/CheckPanel.h"
#include "EditorWindow.h"
#include "common/TestSupport.h"

TEST_F(EditorWindow, CheckFindingsBelowTheViewsLeadToTheirPlaceInTheSource)
{
    window->resize(900, 700);
    window->show();

    // Without a file there is nothing to check.
    window->Toolbar1_ButtonClick("check");
    EXPECT_EQ(dialogs.lastMessage(), "Please save this file first.");
    auto *panel = window->findChild<editor::CheckPanel *>();
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->isVisible());

    const QString page = path("page.htm");
    ASSERT_TRUE(testing_support::writeAll(
        page, "<!DOCTYPE html>\n"
              "<html><head><title>T</title><meta name=\"description\" "
              "content=\"d\"></head><body>\n<p>Hello</p>\n"
              "<p>Hi</p><img src=\"gone.png\" alt=\"x\" width=1 height=1>\n</body></html>\n"));
    ASSERT_TRUE(testing_support::writeAll(page + ".files", page.toLocal8Bit() + "\r\n"));
    ASSERT_TRUE(window->openPage(page));
    auto *picture = window->findChild<QWidget *>("Picture1");
    auto *source = sourceView();
    ASSERT_TRUE(picture);
    const QRect fullViews = picture->geometry();
    const int viewHeight = designView()->height();

    window->toolbarAction("check")->trigger();
    ASSERT_TRUE(panel->isVisible());
    auto *list = panel->findChild<QTreeWidget *>("lvwFindings");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    QTreeWidgetItem *item = list->topLevelItem(0);
    EXPECT_EQ(QStringList({item->text(0), item->text(1), item->text(2), item->text(3)}),
              QStringList({"Error", "4", "20", "missing-file"}));
    EXPECT_EQ(panel->findChild<QLabel *>("lblCheckSummary")->text(), "page.htm: 1 error, 0 warnings");
    // The views give up the panel's height; together they fill what the views had.
    EXPECT_EQ(panel->geometry().top(), picture->geometry().bottom() + 1);
    EXPECT_EQ(panel->geometry().bottom(), fullViews.bottom());
    EXPECT_EQ(designView()->height(), viewHeight - panel->height());

    // A double-click brings the source view to the front with the place selected.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    EXPECT_EQ(window->findChild<QTabWidget *>("SSTabEditor")->currentIndex(), 1);
    EXPECT_EQ(source->height(), viewHeight - panel->height());
    EXPECT_EQ(source->SelText(), "gone.png");
    EXPECT_EQ(source->SelStart(), source->Text().indexOf("gone.png"));

    // A style sheet's finding moves nothing: the source view holds the page.
    check::Finding sheet;
    sheet.file = path("style.css");
    sheet.line = 2;
    sheet.column = 1;
    emit panel->findingActivated(sheet);
    EXPECT_EQ(source->SelText(), "gone.png");

    // A saved fix leaves the findings a moment later, without asking again.
    source->setSelText("pic.png");
    ASSERT_TRUE(testing_support::writeAll(path("pic.png"), "png"));
    ASSERT_TRUE(testing_support::writeAll(page + ".files", (page + "\r\n" + path("pic.png")).toLocal8Bit()));
    ASSERT_TRUE(window->save());
    EXPECT_TRUE(testing_support::waitFor([&] { return list->topLevelItemCount() == 0; }));

    // Resizing keeps the panel below the views; closing it gives the height back.
    window->resize(1000, 760);
    EXPECT_EQ(panel->geometry().top(), picture->geometry().bottom() + 1);
    const int withPanel = picture->height(), panelHeight = panel->height();
    panel->findChild<QToolButton *>("cmdCloseCheck")->click();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(picture->height(), withPanel + panelHeight);
}

TEST(CheckPanel, TheSummaryAndEachFindingNameTheirFile)
{
    editor::CheckPanel panel;
    auto *summary = panel.findChild<QLabel *>("lblCheckSummary");
    check::Report report;
    report.page = QStringLiteral("/work/shop/page.htm");
    panel.showReport(report);
    EXPECT_EQ(summary->text(), "page.htm: no problems found");

    check::Finding sheet;
    sheet.file = QStringLiteral("/work/shop/css/style.css");
    sheet.message = QStringLiteral("a rule");
    report.findings = {sheet};
    panel.showReport(report);
    EXPECT_EQ(summary->text(), "page.htm: 0 errors, 1 warning");
    EXPECT_EQ(panel.findChild<QTreeWidget *>("lvwFindings")->topLevelItem(0)->text(4), "style.css: a rule");
}
