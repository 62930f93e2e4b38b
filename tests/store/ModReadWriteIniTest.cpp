// Saving and loading forms: the key scheme, the newline escape, "SIZE", stale keys,
// the stop-at-failure rule, and batch == key-by-key on a wizard-sized form.
#include "store/modReadWriteIni.h"
#include "store/FormIniWalk.h"

#include "WizardForm.h"
#include "common/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace store;
using testing_support::readAll;
using testing_support::writeAll;

namespace {

const QStringList kFAQ = {"Frequently Asked Question", "Response"};
const QStringList kTestimonial = {"Testimonial From ", "More Info", "Testimonial"};
using Rows = std::vector<MemoryListView::Row>;

struct Store : ::testing::Test {
    QTemporaryDir app;
    void SetUp() override { ASSERT_TRUE(QDir(app.path()).mkdir("sites")); }
    QString path(const QString &name) const { return DataFilePath(name, app.path()); }
};

void expectSameForm(MemoryForm &a, MemoryForm &b)
{
    const auto ca = a.controls();
    const auto cb = b.controls();
    ASSERT_EQ(ca.size(), cb.size());
    for (size_t i = 0; i < ca.size(); ++i) {
        if (ca[i].textBox) {
            EXPECT_EQ(ca[i].textBox->text(), cb[i].textBox->text()) << qPrintable(ca[i].name);
        }
        if (ListView *la = ca[i].listView) {
            ListView *lb = cb[i].listView;
            ASSERT_EQ(la->rowCount(), lb->rowCount()) << qPrintable(ca[i].name);
            for (int r = 0; r < la->rowCount(); ++r) {
                EXPECT_EQ(la->rowText(r), lb->rowText(r));
                for (int j = 1; j < la->columnCount(); ++j)
                    EXPECT_EQ(la->subItem(r, j), lb->subItem(r, j));
            }
        }
    }
}

// A text box, the FAQ list and a text box after it, to watch where loading stops.
struct SmallForm {
    MemoryForm form;
    MemoryTextBox &before = form.addTextBox("txtBefore");
    MemoryListView &faq = form.addListView("lvwFAQ", kFAQ);
    MemoryTextBox &after = form.addTextBox("txtAfter");
};

} // namespace

TEST_F(Store, KeySchemeAndNewlineEscape)
{
    MemoryForm form;
    form.addTextBox("txtProblem").value = "two\r\nlines, lone\rCR and\nLF";
    form.addOther("cmbTemplates");
    form.addListView("lvwFAQ", kFAQ).rows = Rows{{"Q1", {"A1"}}, {"Q2", {"A2"}}};
    form.addListView("lvwTestimonial", kTestimonial).rows = Rows{{"Ann", {"CEO", "Great"}}};
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

    MemoryForm loaded;
    loaded.addTextBox("txtProblem").value = "old";
    loaded.addOther("cmbTemplates");
    loaded.addListView("lvwFAQ", kFAQ).rows = Rows{{"stale", {"x"}}};
    loaded.addListView("lvwTestimonial", kTestimonial);
    ASSERT_TRUE(LoadFormFromIni("Sunrise Pro.ini", loaded, app.path()));
    form.textBox("txtProblem")->value = "two\r\nlines, lone\r\nCR and\r\nLF";
    expectSameForm(form, loaded);
}

TEST_F(Store, FileNames)
{
    EXPECT_EQ(ResolveDataFileName("Sunrise Pro.ini"), "sites/Sunrise Pro.ini");
    EXPECT_EQ(ResolveDataFileName(":ftp:info.ini"), "ftpinfo.ini");
    EXPECT_EQ(DataFilePath(":ftpinfo.ini", "/app/"), "/app/ftpinfo.ini");
    // No sites folder: nothing written, reported as a failure.
    QTemporaryDir bare;
    SmallForm small;
    EXPECT_FALSE(SaveFormToIni("x.ini", small.form, bare.path()));
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
    ASSERT_EQ(loaded.faq.rows.size(), 3u);
    EXPECT_EQ(loaded.faq.rows[0].text, "B");
    EXPECT_EQ(loaded.faq.subItemCount(0), 0); // empty stored sub-item stays unset
    EXPECT_EQ(loaded.faq.subItem(2, 1), "d1");
}

TEST(ListSize, ParsesLikeTheOriginal)
{
    struct Case {
        QString text;
        qint64 rows, columns;
    };
    const Case cases[] = {{"3x2", 3, 2},
                          {"3", 3, 1},
                          {"0x2", 0, 2},
                          {"2.5x2", 2, 2},
                          {"3.5x2", 4, 2},
                          {"abcx", 0, 0},
                          {"-3x2", -3, 2},
                          {"3x", 3, 0},
                          {"x", 0, 0},
                          {"2x2x2", 2, 1},
                          {"3X2", 3, 1},
                          {" 1 2x2", 12, 2},
                          {"&H10x2", 16, 2},
                          {"1e9x2", 1000000000, 2},
                          {"1e999x1", qint64(1e15), 1}};
    for (const Case &c : cases) {
        qint64 rows = -1, columns = -1;
        EXPECT_TRUE(ParseListSize(c.text, rows, columns)) << qPrintable(c.text);
        EXPECT_EQ(rows, c.rows) << qPrintable(c.text);
        EXPECT_EQ(columns, c.columns) << qPrintable(c.text);
    }
    qint64 rows, columns;
    EXPECT_FALSE(ParseListSize("", rows, columns));
}

TEST_F(Store, LoadingFollowsSizeAndStopsWithoutIt)
{
    const QByteArray rows =
        "lvwFAQ_Frequently Asked Question_1=Q1\r\nlvwFAQ_Frequently Asked Question_1_1=A1\r\n"
        "lvwFAQ_Frequently Asked Question_2=Q2\r\nlvwFAQ_Frequently Asked Question_3=Q3\r\n";
    const auto load = [&](const QByteArray &size, bool expectComplete) {
        writeAll(path("f.ini"), "[TEXT]\r\ntxtBefore=b\r\ntxtAfter=a\r\n[lvwFAQ]\r\n" + size + rows);
        SmallForm small;
        small.faq.rows = Rows{{"old", {}}};
        small.after.value = "kept";
        EXPECT_EQ(LoadFormFromIni("f.ini", small.form, app.path()), expectComplete) << size.constData();
        EXPECT_EQ(small.before.value, "b");
        EXPECT_EQ(small.after.value, expectComplete ? "a" : "kept");
        Rows result = small.faq.rows;
        return result;
    };
    EXPECT_EQ(load("SIZE=3\r\n", true).size(), 3u);
    EXPECT_EQ(load("SIZE=3\r\n", true)[0].subItems, QStringList()); // main texts only
    EXPECT_EQ(load("SIZE=2x2\r\n", true)[0].subItems, QStringList({"A1"}));
    EXPECT_EQ(load("SIZE=0x2\r\n", true).size(), 0u);
    EXPECT_EQ(load("SIZE=-3x2\r\n", true).size(), 0u);
    EXPECT_EQ(load("SIZE=2x9\r\n", true)[0].subItems, QStringList({"A1"})); // no column beyond the list's
    // More rows than the section holds: promptly, only the rows stored.
    EXPECT_EQ(load("SIZE=1e9x2\r\n", true).size(), 3u);
    EXPECT_EQ(load("SIZE=99999999x3\r\n", true).size(), 3u);
    EXPECT_TRUE(load("", false).empty());
    EXPECT_TRUE(load("SIZE=\r\n", false).empty());

    // Garbage holding the list's section: a documented result, no crash.
    QByteArray garbage = "[lvwFAQ]\nSIZE=2x2x2\n";
    for (int i = 0; i < 100000; ++i)
        garbage += char((i * 7919) % 251);
    writeAll(path("g.ini"), garbage);
    SmallForm junk;
    EXPECT_TRUE(LoadFormFromIni("g.ini", junk.form, app.path()));
    EXPECT_EQ(junk.faq.rows.size(), 2u);

    // A missing file empties the text boxes up to the first list, then stops.
    SmallForm small;
    small.before.value = "x";
    small.after.value = "y";
    EXPECT_FALSE(LoadFormFromIni("none.ini", small.form, app.path()));
    EXPECT_EQ(small.before.value, "");
    EXPECT_EQ(small.after.value, "y");
}

TEST_F(Store, BatchEqualsKeyByKeyOnAWizardForm)
{
    MemoryForm wizard;
    store_testing::buildWizardForm(wizard, 12);
    // Over a file made elsewhere: comments, odd case, stale rows, other sections.
    const QByteArray earlier = "; saved by hand\r\n[text]\r\nTXTKEYWORDS=old\r\n\r\n[Extra]\r\nk=v\r\n"
                               "[lvwFAQ]\r\nSIZE=40x2\r\nlvwFAQ_Frequently Asked Question_40=stale\r\n";
    writeAll(path("batch.ini"), earlier);
    writeAll(path("keys.ini"), earlier);
    ASSERT_TRUE(SaveFormToIni("batch.ini", wizard, app.path()));
    ASSERT_TRUE(SaveFormToIniKeyByKey("keys.ini", wizard, app.path()));
    EXPECT_EQ(readAll(path("batch.ini")), readAll(path("keys.ini")));

    MemoryForm batchLoaded, keysLoaded;
    store_testing::buildWizardForm(batchLoaded, 0);
    store_testing::buildWizardForm(keysLoaded, 0);
    ASSERT_TRUE(LoadFormFromIni("batch.ini", batchLoaded, app.path()));
    ASSERT_TRUE(LoadFormFromIniKeyByKey("batch.ini", keysLoaded, app.path()));
    expectSameForm(wizard, batchLoaded);
    expectSameForm(wizard, keysLoaded);
}
