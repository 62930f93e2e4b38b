// Saving and loading forms: the key scheme, the newline escape, "SIZE", stale keys,
// the stop-at-failure rule, and batch == key-by-key on a wizard-sized form.
#include "store/modReadWriteIni.h"
#include "store/FormIniWalk.h"

#include "WizardForm.h"
#include "common/TestSupport.h"

#include <QtCore>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>

using namespace store;
using testing_support::readAll;
using testing_support::writeAll;

namespace {

const QStringList kFAQ = {"Frequently Asked Question", "Response"};
using Rows = std::vector<MemoryListView::Row>;

struct Store : ::testing::Test {
    QTemporaryDir app;
    void SetUp() override { ASSERT_TRUE(QDir(app.path()).mkdir("sites")); }
    QString path(const QString &name) const { return DataFilePath(name, app.path()); }
};

// Every value a form holds, in walk order, to compare two forms.
QStringList contents(Form &form)
{
    QStringList values;
    for (const Control &c : form.controls()) {
        if (c.textBox)
            values << c.name + "=" + c.textBox->text();
        for (int r = 0; c.listView && r < c.listView->rowCount(); ++r) {
            values << c.name + ":" + c.listView->rowText(r);
            for (int j = 1; j < c.listView->columnCount(); ++j)
                values << c.listView->subItem(r, j);
        }
    }
    return values;
}

// A text box, the FAQ list and a text box after it, to watch where loading stops.
struct SmallForm {
    MemoryForm form;
    MemoryTextBox &before = form.addTextBox("txtBefore");
    MemoryListView &faq = form.addListView("lvwFAQ", kFAQ);
    MemoryTextBox &after = form.addTextBox("txtAfter");
};

} // namespace

TEST_F(Store, KeySchemeNewlineEscapeAndFileNames)
{
    MemoryForm form, loaded;
    for (MemoryForm *f : {&form, &loaded}) {
        f->addTextBox("txtProblem").value = "old";
        f->addOther("cmbTemplates");
        f->addListView("lvwFAQ", kFAQ).rows = Rows{{"stale", {"x"}}};
        f->addListView("lvwTestimonial", {"Testimonial From ", "More Info", "Testimonial"});
    }
    form.textBox("txtProblem")->value = "two\r\nlines, lone\rCR and\nLF";
    form.listView("lvwFAQ")->rows = Rows{{"Q1", {"A1"}}, {"Q2", {"A2"}}};
    form.listView("lvwTestimonial")->rows = Rows{{"Ann", {"CEO", "Great"}}};
    ASSERT_TRUE(SaveFormToIni("Sunrise Pro.ini", form, app.path()));
    EXPECT_EQ(readAll(app.filePath("sites/Sunrise Pro.ini")),
              "[TEXT]\r\n"
              "txtProblem=two_##_NEWLINE_##_lines, lone_##_NEWLINE_##_CR and_##_NEWLINE_##_LF\r\n"
              "[lvwFAQ]\r\nSIZE=2x2\r\n"
              "lvwFAQ_Frequently Asked Question_1=Q1\r\nlvwFAQ_Frequently Asked Question_1_1=A1\r\n"
              "lvwFAQ_Frequently Asked Question_2=Q2\r\nlvwFAQ_Frequently Asked Question_2_1=A2\r\n"
              "[lvwTestimonial]\r\nSIZE=1x3\r\n"
              "lvwTestimonial_Testimonial From _1=Ann\r\nlvwTestimonial_Testimonial From _1_1=CEO\r\n"
              "lvwTestimonial_More Info_1_2=Great\r\n");

    ASSERT_TRUE(LoadFormFromIni("Sunrise Pro.ini", loaded, app.path()));
    form.textBox("txtProblem")->value = "two\r\nlines, lone\r\nCR and\r\nLF";
    EXPECT_EQ(contents(loaded), contents(form));

    EXPECT_EQ(ResolveDataFileName(":ftp:info.ini"), "ftpinfo.ini");
    EXPECT_EQ(DataFilePath(":ftpinfo.ini", "/app/"), "/app/ftpinfo.ini");
    QTemporaryDir bare; // no sites folder: nothing written, reported as a failure
    EXPECT_FALSE(SaveFormToIni("x.ini", form, bare.path()));
}

TEST_F(Store, FewerRowsLeaveStaleKeysThatAreNotLoaded)
{
    SmallForm small;
    small.faq.rows = Rows{{"A", {"a1"}}, {"B", {"b1"}}, {"C", {"c1"}}, {"D", {"d1"}}, {"E", {"e1"}}};
    ASSERT_TRUE(SaveFormToIni("p.ini", small.form, app.path()));
    // Row B now holds no sub-item at all: the old answer of row 1 must not come back.
    small.faq.rows = Rows{{"B", {}}, {"C", {"c1"}}, {"D", {"d1"}}};
    ASSERT_TRUE(SaveFormToIni("p.ini", small.form, app.path()));
    EXPECT_TRUE(readAll(path("p.ini")).contains("lvwFAQ_Frequently Asked Question_5_1=e1"));

    SmallForm loaded;
    ASSERT_TRUE(LoadFormFromIni("p.ini", loaded.form, app.path()));
    EXPECT_EQ(contents(loaded.form),
              QStringList({"txtBefore=", "lvwFAQ:B", "", "lvwFAQ:C", "c1", "lvwFAQ:D", "d1", "txtAfter="}));
    EXPECT_EQ(loaded.faq.subItemCount(0), 0); // an empty stored sub-item stays unset
}

TEST(ListSize, SplitAtLowerCaseXWithRoundedNumberPrefixes)
{
    struct Case {
        QString text;
        qint64 rows, columns;
    };
    // clang-format off
    const Case cases[] = {{"3x2", 3, 2}, {"3", 3, 1}, {"0x2", 0, 2}, {"2.5x2", 2, 2}, {"3.5x2", 4, 2},
                          {"abcx", 0, 0}, {"-3x2", -3, 2}, {"3x", 3, 0}, {"x", 0, 0}, {"2x2x2", 2, 1},
                          {"3X2", 3, 1}, {" 1 2x2", 12, 2}, {"&H10x2", 16, 2}, {"1e9x2", 1000000000, 2},
                          {"1e999x1", qint64(1e15), 1}, {"&o10x2", 8, 2}, {"+3x2", 3, 2}, {"1D1x2", 10, 2},
                          {"25e-1x2", 2, 2}, {"1e-999x1", 0, 1}, {"-1e999x1", qint64(-1e15), 1}};
    // clang-format on
    for (const Case &c : cases) {
        qint64 rows = -1, columns = -1;
        EXPECT_TRUE(ParseListSize(c.text, rows, columns)) << qPrintable(c.text);
        EXPECT_EQ(std::pair(rows, columns), std::pair(c.rows, c.columns)) << qPrintable(c.text);
    }
    qint64 rows, columns;
    EXPECT_FALSE(ParseListSize("", rows, columns));
}

TEST_F(Store, LoadingFollowsSizeAndStopsWithoutIt)
{
    const QByteArray rows =
        "lvwFAQ_Frequently Asked Question_1=Q1\r\nlvwFAQ_Frequently Asked Question_1_1=A1\r\n"
        "lvwFAQ_Response_1_2=beyond\r\nlvwFAQ_Frequently Asked Question_2=Q2\r\n"
        "lvwFAQ_Frequently Asked Question_3=Q3\r\nLVWFAQ_frequently asked question_5_1=A5\r\n";
    const QStringList all = {"Q1|A1", "Q2", "Q3", "", "|A5"}, noAnswers = {"Q1", "Q2", "Q3", "", ""};
    // "SIZE" line, whether loading goes on past the list, the rows as "text|sub-items".
    // clang-format off
    const std::tuple<QByteArray, bool, QStringList> cases[] = {
        {"SIZE=3", true, {"Q1", "Q2", "Q3"}}, {"SIZE=2x2", true, {"Q1|A1", "Q2"}},
        {"SIZE=0x2", true, {}}, {"SIZE=-3x2", true, {}},
        {"SIZE=2x9", true, {"Q1|A1", "Q2"}}, // no column beyond the list's
        // Beyond the keys: up to the highest row with a key, in any letter case (row 4 was
        // never stored), and never beyond SIZE.
        {"SIZE=4", true, {"Q1", "Q2", "Q3", ""}}, {"SIZE=5", true, noAnswers},
        {"SIZE=9", true, noAnswers}, {"SIZE=1e15x2", true, all},
        {"SIZE=1e9x2", true, all}, {"SIZE=99999999x3", true, all}, // promptly, only the rows stored
        {"", false, {}}, {"SIZE=", false, {}}};
    // clang-format on
    for (const auto &[size, complete, expected] : cases) {
        writeAll(path("f.ini"), "[TEXT]\r\ntxtBefore=b\r\ntxtAfter=a\r\n[lvwFAQ]\r\n" + size + "\r\n" + rows);
        SmallForm small;
        small.faq.rows = Rows{{"old", {}}};
        small.after.value = "kept";
        EXPECT_EQ(LoadFormFromIni("f.ini", small.form, app.path()), complete) << size.constData();
        EXPECT_EQ(small.before.value + "," + small.after.value, complete ? "b,a" : "b,kept")
            << size.constData();
        QStringList loaded;
        for (const auto &row : small.faq.rows)
            loaded << (QStringList(row.text) + row.subItems).join('|');
        EXPECT_EQ(loaded, expected) << size.constData();
    }
}

TEST_F(Store, BatchEqualsKeyByKeyOnAWizardForm)
{
    MemoryForm wizard, batchLoaded, keysLoaded;
    store_testing::buildWizardForm(wizard, 12);
    store_testing::buildWizardForm(batchLoaded, 0);
    store_testing::buildWizardForm(keysLoaded, 0);
    // Over a file made elsewhere: comments, odd case, stale rows, other sections.
    const QByteArray earlier = "; saved by hand\r\n[text]\r\nTXTKEYWORDS=old\r\n\r\n[Extra]\r\nk=v\r\n"
                               "[lvwFAQ]\r\nSIZE=40x2\r\nlvwFAQ_Frequently Asked Question_40=stale\r\n";
    writeAll(path("batch.ini"), earlier);
    writeAll(path("keys.ini"), earlier);
    ASSERT_TRUE(SaveFormToIni("batch.ini", wizard, app.path()));
    ASSERT_TRUE(SaveFormToIniKeyByKey("keys.ini", wizard, app.path()));
    EXPECT_EQ(readAll(path("batch.ini")), readAll(path("keys.ini")));
    ASSERT_TRUE(LoadFormFromIni("batch.ini", batchLoaded, app.path()));
    ASSERT_TRUE(LoadFormFromIniKeyByKey("batch.ini", keysLoaded, app.path()));
    EXPECT_EQ(contents(batchLoaded), contents(wizard));
    EXPECT_EQ(contents(keysLoaded), contents(wizard));
}

TEST_F(Store, AWindowsCodePageFileKeepsItsLettersAndItsEncoding)
{
    // As the profile functions write it on a Windows system: 8-bit Windows-1252.
    writeAll(path("cafe.ini"),
             "[TEXT]\r\ntxtBefore=Caf\xe9 \x80 5\r\ntxtAfter=x\r\n[lvwFAQ]\r\nSIZE=0x2\r\n");
    SmallForm small;
    ASSERT_TRUE(LoadFormFromIni("cafe.ini", small.form, app.path()));
    EXPECT_EQ(small.before.value, QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac 5"));
    small.after.value = QString::fromUtf8("cr\xc3\xa8me");
    ASSERT_TRUE(SaveFormToIni("cafe.ini", small.form, app.path()));
    EXPECT_EQ(readAll(path("cafe.ini")),
              "[TEXT]\r\ntxtBefore=Caf\xe9 \x80 5\r\ntxtAfter=cr\xe8me\r\n[lvwFAQ]\r\nSIZE=0x2\r\n");
}
