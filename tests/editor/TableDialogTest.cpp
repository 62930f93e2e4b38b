// The insert-table dialog against the main window's real design view.
#include "EditorWindow.h"
#include "common/TestSupport.h"
#include "editor/frmDialog_Table.h"

using editor::frmDialog_Table;
using platform::Answer;

namespace {

// The dialog's controls by their names, as the store reaches a window's controls.
template <class T> T *control(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        ADD_FAILURE() << "no control " << name;
    return found;
}

class TableDialog : public EditorWindow {
protected:
    void SetUp() override
    {
        EditorWindow::SetUp();
        designView()->setDocumentHTML(QStringLiteral("<html><body><p>x</p></body></html>"));
    }
    void TearDown() override
    {
        delete frmDialog_Table::instance();
        frmDialog_Table::TableCount = 0; // a case may leave it at the wrap
        EditorWindow::TearDown();
    }
    frmDialog_Table *open() { return frmDialog_Table::showDialog(window.get()); }
    int tablesInDocument()
    {
        return designView()->DocumentHTML().count(QStringLiteral("<table"), Qt::CaseInsensitive);
    }
};

} // namespace

TEST_F(TableDialog, OkPastesNumberedTablesAndCancelDoesNotCount)
{
    frmDialog_Table::TableCount = 32766; // the last ID before the count wraps
    const qint16 first = frmDialog_Table::TableCount;
    auto *dialog = open();
    control<QComboBox>(dialog, "cmbAlign")->setCurrentText(QStringLiteral("Center"));
    // A step down to 0 leaves the box as it was; a step up writes the spinner's value.
    auto *rows = control<QScrollBar>(dialog, "VScrollRow");
    control<QLineEdit>(dialog, "Text2")->setText(QStringLiteral("7"));
    rows->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(control<QLineEdit>(dialog, "Text2")->text(), QStringLiteral("7"));
    for (auto step : {QAbstractSlider::SliderSingleStepAdd, QAbstractSlider::SliderSingleStepAdd,
                      QAbstractSlider::SliderSingleStepSub, QAbstractSlider::SliderSingleStepSub})
        rows->triggerAction(step);
    EXPECT_EQ(control<QLineEdit>(dialog, "Text2")->text(), QStringLiteral("1"));
    rows->setValue(2);
    EXPECT_EQ(control<QLineEdit>(dialog, "Text2")->text(), QStringLiteral("2"));
    // Each spinner writes its own box, and each box its own attribute.
    control<QScrollBar>(dialog, "VScrollBorder")->setValue(4);
    control<QScrollBar>(dialog, "VScrollSpacing")->setValue(5);
    EXPECT_EQ(control<QLineEdit>(dialog, "combo2")->text(), QStringLiteral("4"));
    EXPECT_EQ(control<QLineEdit>(dialog, "combo3")->text(), QStringLiteral("5"));
    // Showing it again brings the same dialog, with what was entered.
    EXPECT_EQ(open(), dialog);
    EXPECT_EQ(control<QLineEdit>(dialog, "Text2")->text(), QStringLiteral("2"));
    control<QPushButton>(dialog, "cmdOK")->click();
    EXPECT_TRUE(testing_support::waitFor([] { return frmDialog_Table::instance() == nullptr; }));
    EXPECT_EQ(frmDialog_Table::TableCount, first + 1);
    const QString html = designView()->DocumentHTML();
    EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(first))) << qPrintable(html);
    EXPECT_TRUE(html.contains(QStringLiteral("border=\"4\"")) &&
                html.contains(QStringLiteral("cellspacing=\"5\"")))
        << qPrintable(html);
    EXPECT_EQ(html.count(QStringLiteral("<td align=\"Center\""), Qt::CaseInsensitive), 6);

    // Every showing starts afresh; Cancel inserts nothing and does not count.
    EXPECT_EQ(control<QLineEdit>(open(), "Text2")->text(), QStringLiteral("3"));
    control<QPushButton>(frmDialog_Table::instance(), "cmdCancel")->click();
    EXPECT_TRUE(testing_support::waitFor([] { return frmDialog_Table::instance() == nullptr; }));
    EXPECT_EQ(frmDialog_Table::TableCount, first + 1);
    EXPECT_EQ(tablesInDocument(), 1);
}

TEST_F(TableDialog, BadCountsAreNamedAndHugeTablesNeedConsent)
{
    const qint16 first = frmDialog_Table::TableCount;
    auto *dialog = open();
    dialogs.answers = {Answer::No, Answer::No}; // the cases that ask: a large table refused
    // Rows, columns, and a part of the message they get.
    const char *cases[][3] = {{"", "3", "# Of Rows"},
                              {"many", "3", "# Of Rows"},
                              {"40000", "3", "# Of Rows"},
                              {"3", "x", "# Of Columns"},
                              {"1000", "101", "at most 100000 cells"},
                              {"1000", "100", "100000 cells and may take"},
                              {"200", "51", "10200 cells"}};
    for (const auto &[rows, columns, message] : cases) {
        control<QLineEdit>(dialog, "Text2")->setText(QString::fromLatin1(rows));
        control<QLineEdit>(dialog, "Text1")->setText(QString::fromLatin1(columns));
        dialogs.messages.clear();
        dialog->cmdOK_Click();
        EXPECT_TRUE(dialogs.lastMessage().contains(QString::fromLatin1(message))) << rows << "x" << columns;
    }
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
        designView()->setDocumentHTML(QStringLiteral("<html><body><p>Buy now</p></body></html>"));
        designView()->setFocus();
        designView()->runScript(
            QStringLiteral("var r = document.createRange(); %1"
                           " var s = getSelection(); s.removeAllRanges(); s.addRange(r); true")
                .arg(QString::fromLatin1(select)));
        const qint16 first = frmDialog_Table::TableCount;
        control<QPushButton>(open(), "cmdOK")->click();
        EXPECT_TRUE(testing_support::waitFor([] { return frmDialog_Table::instance() == nullptr; }))
            << select;
        EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(dialogs.lastMessage());
        EXPECT_EQ(frmDialog_Table::TableCount, first + 1) << select;
        EXPECT_EQ(tablesInDocument(), 1) << select;
        delete frmDialog_Table::instance();
    }
}
