// The upload window checks the pages it is about to send and asks before it sends
// one with errors; the answer decides whether anything reaches the server.
#include "FtpServerFixture.h"
#include "common/RecordingDialogs.h"
#include "platform/AppFolder.h"
#include "publish/FrmUploadInfo.h"
#include "ui_FrmUploadInfo.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace publish_testing;

TEST(UploadCheck, AsksBeforeSendingAPageWithErrors)
{
    QTemporaryDir app, site;
    platform::setApplicationFolder(app.path());
    testing_support::RecordingDialogs dialogs;
    FtpServer server;
    ASSERT_TRUE(server.start());
    const QString page = site.filePath("offer.htm");
    const QByteArray broken = "<title>Offer</title><p>Now <ZOR_PAGE_DATA_NEWPRICE></p>";
    ASSERT_TRUE(makeFile(page, broken));
    ASSERT_TRUE(makeFile(page + ".files", ":: list\r\n" + page.toLocal8Bit() + "\r\n"));

    publish::FrmUploadInfo w;
    Ui::FrmUploadInfo *ui = w.ui();
    ui->txtServerName->setText("127.0.0.1");
    ui->txtServerPort->setText(QString::number(server.port()));
    ui->txtUserId->setText("user");
    ui->txtPassword->setText("secret");
    w.AddFilesToList(page + ".files");
    ASSERT_EQ(ui->lstFiles->topLevelItemCount(), 1);

    // No: nothing is sent and nobody logs in.
    dialogs.answers = {platform::Answer::No};
    w.cmdUploadAll_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].buttons, platform::Buttons::YesNo);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("offer.htm has 1 error, the first on line 1: "))
        << dialogs.lastMessage().toStdString();
    EXPECT_TRUE(dialogs.messages[0].text.endsWith("Send anyway?"));
    EXPECT_EQ(server.logins(), 0);
    EXPECT_TRUE(w.isEnabled());

    // Yes: the page goes as it is, with Upload Selected too.
    dialogs.messages.clear();
    dialogs.answers = {platform::Answer::Yes};
    ui->lstFiles->topLevelItem(0)->setCheckState(0, Qt::Checked);
    w.cmdUploadCheck_Click();
    EXPECT_EQ(dialogs.messageTexts().size(), 2) << dialogs.messageTexts().join(" | ").toStdString();
    EXPECT_EQ(dialogs.lastMessage(), "Upload Over");
    EXPECT_EQ(testing_support::readAll(server.path("offer.htm")), broken);

    // A page without errors goes without a question.
    ASSERT_TRUE(makeFile(page, "<title>Offer</title><p>Now $5</p>"));
    dialogs.messages.clear();
    w.cmdUploadAll_Click();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Upload Over"});
    EXPECT_EQ(testing_support::readAll(server.path("offer.htm")), "<title>Offer</title><p>Now $5</p>");
}
