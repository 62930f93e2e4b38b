// The insert-table dialog against the main window's real design view.
#include "common/RecordingDialogs.h"
#include "editor/frmDialog_Table.h"
#include "editor/frmMain.h"
#include "platform/widgets/DesignView.h"
#include "ui_frmDialog_Table.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using editor::frmDialog_Table;
using platform::Answer;

namespace {

class TableDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<editor::frmMain>();
        design()->setDocumentHTML(QStringLiteral("<html><body><p>x</p></body></html>"));
    }
    platform::DesignView *design() { return window->findChild<platform::DesignView *>("DHTMLEdit1"); }
    void TearDown() override
    {
        delete frmDialog_Table::instance();
        window.reset();
    }
    frmDialog_Table *open() { return frmDialog_Table::showDialog(window.get()); }
    int tablesInDocument()
    {
        return design()->DocumentHTML().count(QStringLiteral("<table"), Qt::CaseInsensitive);
    }

    testing_support::RecordingDialogs dialogs;
    std::unique_ptr<editor::frmMain> window;
};

} // namespace

TEST_F(TableDialog, OkPastesNumberedTablesAndCancelDoesNotCount)
{
    const qint16 first = frmDialog_Table::TableCount;
    auto *dialog = open();
    dialog->ui->cmbAlign->setCurrentText(QStringLiteral("Center"));
    // The spinner's first step down writes 1 whatever the box held; a step up at 0 does nothing.
    dialog->ui->Text2->setText(QStringLiteral("7"));
    dialog->ui->VScrollRow->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(dialog->ui->Text2->text(), QStringLiteral("7"));
    dialog->ui->VScrollRow->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    dialog->ui->VScrollRow->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(dialog->ui->Text2->text(), QStringLiteral("2"));
    // Showing it again brings the same dialog, with what was entered.
    EXPECT_EQ(open(), dialog);
    EXPECT_EQ(dialog->ui->Text2->text(), QStringLiteral("2"));
    dialog->ui->cmdOK->click();
    EXPECT_TRUE(QTest::qWaitFor([] { return frmDialog_Table::instance() == nullptr; }));
    EXPECT_EQ(frmDialog_Table::TableCount, first + 1);
    const QString html = design()->DocumentHTML();
    EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(first))) << qPrintable(html);
    EXPECT_EQ(html.count(QStringLiteral("<td align=\"Center\""), Qt::CaseInsensitive), 6);

    // Every showing starts afresh; Cancel inserts nothing and does not count.
    EXPECT_EQ(open()->ui->Text2->text(), QStringLiteral("3"));
    frmDialog_Table::instance()->ui->cmdCancel->click();
    EXPECT_TRUE(QTest::qWaitFor([] { return frmDialog_Table::instance() == nullptr; }));
    EXPECT_EQ(frmDialog_Table::TableCount, first + 1);
    EXPECT_EQ(tablesInDocument(), 1);
}

TEST_F(TableDialog, BadCountsAreNamedAndHugeTablesNeedConsent)
{
    const qint16 first = frmDialog_Table::TableCount;
    auto *dialog = open();
    for (const char *bad : {"", "many", "40000"}) {
        dialog->ui->Text2->setText(QString::fromLatin1(bad));
        dialogs.messages.clear();
        dialog->cmdOK_Click();
        EXPECT_TRUE(dialogs.lastMessage().contains(QStringLiteral("# Of Rows"))) << bad;
    }
    dialog->ui->Text2->setText(QStringLiteral("3"));
    dialog->ui->Text1->setText(QStringLiteral("x"));
    dialog->cmdOK_Click();
    EXPECT_TRUE(dialogs.lastMessage().contains(QStringLiteral("# Of Columns")));

    dialog->ui->Text2->setText(QStringLiteral("1000"));
    dialog->ui->Text1->setText(QStringLiteral("101"));
    dialog->cmdOK_Click();
    EXPECT_TRUE(dialogs.lastMessage().contains(QStringLiteral("at most 100000 cells")));
    dialog->ui->Text2->setText(QStringLiteral("200"));
    dialog->ui->Text1->setText(QStringLiteral("51"));
    dialogs.answers = {Answer::No};
    dialog->cmdOK_Click();
    EXPECT_TRUE(dialogs.lastMessage().contains(QStringLiteral("10200 cells")));
    EXPECT_EQ(frmDialog_Table::instance(), dialog);
    EXPECT_EQ(frmDialog_Table::TableCount, first);
    EXPECT_EQ(tablesInDocument(), 0);
}

TEST_F(TableDialog, ATableInsertedAtTheEndOfAParagraphCountsOnce)
{
    // The editing command answers "not done" for these selections although it
    // inserted the table: the dialog must close and count it once.
    const char *selections[] = {
        "var t = document.querySelector('p').firstChild; r.setStart(t, t.length); r.collapse(true);",
        "r.selectNodeContents(document.querySelector('p'));",
    };
    for (const char *select : selections) {
        design()->setDocumentHTML(QStringLiteral("<html><body><p>Buy now</p></body></html>"));
        design()->setFocus();
        design()->runScript(
            QStringLiteral("var r = document.createRange(); %1"
                           " var s = getSelection(); s.removeAllRanges(); s.addRange(r); true")
                .arg(QString::fromLatin1(select)));
        const qint16 first = frmDialog_Table::TableCount;
        open()->ui->cmdOK->click();
        EXPECT_TRUE(QTest::qWaitFor([] { return frmDialog_Table::instance() == nullptr; })) << select;
        EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(dialogs.lastMessage());
        EXPECT_EQ(frmDialog_Table::TableCount, first + 1) << select;
        EXPECT_EQ(tablesInDocument(), 1) << select;
        delete frmDialog_Table::instance();
    }
}
