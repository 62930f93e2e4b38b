// The last step of the wizard lists the empty answers that the chosen template uses,
// each a link to the step that asks for it.
#include "wizard/frmWizard.h"

#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "platform/AppFolder.h"

#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>

using wizard::frmWizard;

TEST(WizardCompleteness, LastStepLinksTheEmptyAnswersTheTemplateUses)
{
    QTemporaryDir app;
    ASSERT_TRUE(QDir().mkpath(app.filePath("templates")));
    ASSERT_TRUE(
        testing_support::writeAll(app.filePath("templates/Aaa.htm"),
                                  "<h1><ZOR_PAGE_DATA_SOFTWARENAME></h1><ZOR_IF_PAGE_DATA_MRPRICE>was "
                                  "<ZOR_PAGE_DATA_MRPRICE></ZOR_IF_PAGE_DATA_MRPRICE>"
                                  "<ZOR_PAGE_DATA_FAQ><ZOR_PAGE_DATA_FAQ_QUESTION></ZOR_PAGE_DATA_FAQ>"));
    ASSERT_TRUE(testing_support::writeAll(app.filePath("templates/Bbb.htm"),
                                          "<h1><ZOR_PAGE_DATA_SOFTWARENAME></h1>"));
    platform::setApplicationFolder(app.path());
    testing_support::RecordingDialogs dialogs;
    frmWizard &w = frmWizard::instance();
    auto *label = w.findChild<QLabel *>("lblMissingAnswers");
    ASSERT_NE(label, nullptr);
    w.cmbTemplates->setCurrentText("Aaa");
    w.findChild<QLineEdit *>("txtSoftwareName")->setText("Tool");

    for (int i = 0; i < frmWizard::N - 1; ++i)
        w.xpcmdNext_Click();
    ASSERT_EQ(w.pageInFront(), frmWizard::N - 1);
    EXPECT_FALSE(label->isHidden());
    const QString text = label->text();
    EXPECT_TRUE(text.contains("the Aaa template")) << text.toStdString();
    const int faq = text.indexOf("<a href=\"step:4\">Step 4: Questions and answers</a>");
    const int price = text.indexOf("<a href=\"step:8\">Step 8: Regular price</a>");
    EXPECT_TRUE(faq > 0 && price > faq) << text.toStdString();
    EXPECT_FALSE(text.contains("Name of the software"));

    // A template that uses only answers given: nothing to list; generating stays possible.
    w.cmbTemplates->setCurrentText("Bbb");
    EXPECT_TRUE(label->isHidden());
    EXPECT_TRUE(w.xpcmdEditInEditor[1]->isEnabled());

    // A link leads to its step, and the buttons follow.
    w.cmbTemplates->setCurrentText("Aaa");
    emit label->linkActivated("step:8"); // the href of "Step 8" above
    EXPECT_EQ(w.pageInFront(), 7);
    EXPECT_EQ(w.CurrentStep, 7);
    EXPECT_TRUE(w.xpcmdNext->isEnabled() && w.xpcmdPrevious->isEnabled());
    frmWizard::destroyInstance();
}
