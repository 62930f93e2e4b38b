// The wizard's A/B calculator: the figures follow the counts as they are typed.
#include "wizard/FrmAbTest.h"

#include "ui_FrmAbTest.h"

#include <QTest>
#include <gtest/gtest.h>

TEST(AbTestWindow, SentenceFollowsTheTyping)
{
    wizard::FrmAbTest window;
    const auto type = [&](QSpinBox *box, const char *digits) {
        box->selectAll();
        QTest::keyClicks(box, digits);
    };
    type(window.ui->spnVisitsA, "2000");
    type(window.ui->spnOrdersA, "60");
    type(window.ui->spnVisitsB, "2000");
    EXPECT_EQ(window.ui->lblSentence->text(),
              "A sells more: 3.0% against 0.0%, and a difference this large would "
              "come by chance less than 1 time in 1,000");
    type(window.ui->spnOrdersB, "90");
    EXPECT_EQ(window.ui->lblRateB->text(), "4.5%");
    EXPECT_EQ(window.ui->lblPValue->text(), "0.0125");
    EXPECT_EQ(window.ui->lblSentence->text(),
              "B sells more: 4.5% against 3.0%, and a difference this large would "
              "come by chance about 1 time in 80");
    type(window.ui->spnOrdersB, "2001");
    EXPECT_EQ(window.ui->lblSentence->text(), "B has more orders (2,001) than visitors (2,000).");
    EXPECT_TRUE(window.ui->lblPValue->text().isEmpty());
}
