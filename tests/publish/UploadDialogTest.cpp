#include "FtpServerFixture.h"
#include "common/RecordingDialogs.h"
#include "generation/PageData.h"
#include "generation/modTemplates.h"
#include "platform/AppFolder.h"
#include "publish/FrmUploadInfo.h"
#include "ui_FrmUploadInfo.h"

#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace publish_testing;
using publish::FrmUploadInfo;
using testing_support::readAll;
using testing_support::RecordingDialogs;

namespace {

int fileMode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// A temporary application folder and a window pointed at a running server.
struct UploadFixture : ::testing::Test {
    QTemporaryDir app;
    QTemporaryDir site;
    FtpServer server;
    RecordingDialogs dialogs;

    void SetUp() override { platform::setApplicationFolder(app.path()); }

    void fill(FrmUploadInfo &w, const QString &password = "secret", const QString &dir = "")
    {
        Ui::FrmUploadInfo *ui = w.ui();
        ui->txtServerName->setText("127.0.0.1");
        ui->txtServerPort->setText(QString::number(server.process ? server.port() : 21));
        ui->txtUserId->setText("user");
        ui->txtPassword->setText(password);
        ui->txtRemoteDir->setText(dir);
    }
    int rows(FrmUploadInfo &w) { return w.ui()->lstFiles->topLevelItemCount(); }
    QTreeWidgetItem *row(FrmUploadInfo &w, int i) { return w.ui()->lstFiles->topLevelItem(i); }
    void tick(FrmUploadInfo &w, int i) { row(w, i)->setCheckState(0, Qt::Checked); }
    void addFolder(FrmUploadInfo &w, const QString &path)
    {
        dialogs.folders.push_back(path);
        w.cmdAddFolder_Click();
    }
    int criticalCount() const
    {
        int n = 0;
        for (const auto &m : dialogs.messages)
            n += m.icon == platform::Icon::Critical;
        return n;
    }
};

} // namespace

TEST_F(UploadFixture, ListEditing)
{
    ASSERT_TRUE(makeFile(site.filePath("index.htm"), "x"));
    ASSERT_TRUE(makeFile(site.filePath("logo.gif"), "y"));
    const QString list = site.filePath("index.htm.files");
    ASSERT_TRUE(makeFile(list, ("::a\r\n::b\r\n" + site.filePath("index.htm") + "\r\n::c\r\n" +
                                site.filePath("missing.gif") + "\r\n\r\n" + site.filePath("logo.gif") +
                                "\r\n" + site.path() + "\r\n")
                                   .toLocal8Bit()));
    FrmUploadInfo w;
    addFolder(w, "/work/site/");
    w.AddFilesToList(site.filePath("nothing.files"));
    EXPECT_EQ(rows(w), 1) << "a missing list changes nothing";
    EXPECT_EQ(row(w, 0)->text(0), "site");
    EXPECT_EQ(dialogs.folderStarts.back(), app.path());
    w.AddFilesToList(list);
    ASSERT_EQ(rows(w), 2);
    EXPECT_EQ(row(w, 1)->text(0), "logo.gif");
    EXPECT_EQ(row(w, 1)->text(1), site.filePath("logo.gif"));
    EXPECT_EQ(row(w, 1)->checkState(0), Qt::Unchecked);
    EXPECT_TRUE(row(w, 1)->isSelected());

    dialogs.files = {site.filePath("logo.gif"), ""};
    w.cmdAddFile_Click();
    w.cmdAddFile_Click();
    addFolder(w, "  ");
    ASSERT_EQ(rows(w), 3);
    EXPECT_EQ(row(w, 2)->checkState(0), Qt::Checked);
    tick(w, 0);
    w.cmdRemove_Click();
    ASSERT_EQ(rows(w), 1);
    EXPECT_EQ(row(w, 0)->text(1), site.filePath("logo.gif"));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(UploadFixture, GeneratedPageAndFolderTreeLandInPlace)
{
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(QFile::link(testing_support::sourceDir() + "/templates", app.filePath("templates")));
    generation::PageData data;
    data.txtSoftwareName = "Sunrise Pro";
    QString tmpl = "Clarity", page = site.filePath("sunrise.htm"), image;
    ASSERT_TRUE(generation::GenerateTemplateBasedPage(app.path(), tmpl, page, image, data));

    // site/tree: no files of its own; a/ with a file and a subfolder; b/ after a/.
    ASSERT_TRUE(makeFile(site.filePath("tree/a/one.htm"), sample(20000, 1)));
    ASSERT_TRUE(makeFile(site.filePath("tree/a/deep/two.htm"), sample(300, 2)));
    ASSERT_TRUE(makeFile(site.filePath("tree/b/three.htm"), sample(10, 3)));
    QDir(server.path("")).mkdir("www");

    FrmUploadInfo w;
    fill(w, "secret", "www");
    w.AddFilesToList(page + ".files");
    const int pageRows = rows(w);
    ASSERT_GE(pageRows, 2);
    addFolder(w, site.filePath("tree"));
    w.cmdUploadAll_Click();

    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Upload Over"});
    EXPECT_EQ(w.ui()->txtStatus->toPlainText(), "Upload Over");
    EXPECT_TRUE(w.isEnabled());
    EXPECT_EQ(w.ui()->prgUpload->value(), w.ui()->prgUpload->maximum());
    for (int i = 0; i < pageRows; ++i) {
        const QString local = row(w, i)->text(1);
        EXPECT_EQ(readAll(server.path("www/" + row(w, i)->text(0))), readAll(local)) << local.toStdString();
    }
    EXPECT_EQ(readAll(server.path("www/a/one.htm")), sample(20000, 1));
    EXPECT_EQ(readAll(server.path("www/a/deep/two.htm")), sample(300, 2));
    EXPECT_EQ(readAll(server.path("www/b/three.htm")), sample(10, 3));
    EXPECT_EQ(server.logins(), 1);

    // Upload Selected sends the ticked rows only, again into the remote directory.
    QFile::remove(server.path("www/sunrise.htm"));
    QFile::remove(server.path("www/a/one.htm"));
    tick(w, 0);
    row(w, rows(w) - 1)->setCheckState(0, Qt::Unchecked);
    w.cmdUploadCheck_Click();
    EXPECT_EQ(dialogs.lastMessage(), "Upload Over");
    EXPECT_TRUE(QFile::exists(server.path("www/sunrise.htm")));
    EXPECT_FALSE(QFile::exists(server.path("www/a/one.htm")));
}

TEST_F(UploadFixture, FailuresAreReportedAndTheWindowComesBack)
{
    ASSERT_TRUE(server.start({"--perm", "elrw"})); // MKD refused
    ASSERT_TRUE(makeFile(site.filePath("a.htm"), "a"));
    ASSERT_TRUE(makeFile(site.filePath("dir/sub/b.htm"), "b"));
    FrmUploadInfo w;
    dialogs.files.push_back(site.filePath("a.htm"));
    w.cmdAddFile_Click();

    // A bad port: a message, nothing sent.
    fill(w);
    w.ui()->txtServerPort->setText("70000");
    w.cmdUploadAll_Click();
    EXPECT_TRUE(dialogs.lastMessage().startsWith("Please enter a server port number"));
    EXPECT_EQ(server.logins(), 0);

    // Wrong password: the report, nothing sent, no "Upload Over".
    dialogs.messages.clear();
    fill(w, "wrong");
    w.cmdUploadAll_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, platform::Icon::Critical);
    EXPECT_TRUE(dialogs.messages[0].text.contains("530 ")) << dialogs.messages[0].text.toStdString();
    EXPECT_TRUE(w.isEnabled());

    // Missing remote directory, with Upload Selected.
    dialogs.messages.clear();
    fill(w, "secret", "missing");
    w.cmdUploadCheck_Click();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("Error Msg: 550 "));
    EXPECT_TRUE(
        dialogs.messages[0].text.endsWith("Procedure: FTPChangeRemoteFolder\r\n\r\nError Source: FTP Class"));
    EXPECT_EQ(dialogs.messages[1].text, "Error Occured in uploading.");
    EXPECT_FALSE(QFile::exists(server.path("a.htm")));

    // MKD refused: the change into the folder reports; the file row is still sent.
    dialogs.messages.clear();
    fill(w);
    w.cmdRemoveAll_Click();
    addFolder(w, site.filePath("dir"));
    dialogs.files.push_back(site.filePath("a.htm"));
    w.cmdAddFile_Click();
    w.cmdUploadAll_Click();
    ASSERT_EQ(criticalCount(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.contains("Procedure: FTPChangeRemoteFolder"));
    EXPECT_EQ(dialogs.messages.size(), 1u) << "no Upload Over after a failure";
    EXPECT_EQ(readAll(server.path("a.htm")), "a");
    EXPECT_TRUE(w.isEnabled());
}

TEST_F(UploadFixture, ServerStoppedOrSilent)
{
    ASSERT_TRUE(server.start());
    for (const char *name : {"a.htm", "b.htm", "c.htm"})
        ASSERT_TRUE(makeFile(site.filePath(name), "x"));
    FrmUploadInfo w;
    fill(w);
    for (const char *name : {"a.htm", "b.htm", "c.htm"}) {
        dialogs.files.push_back(site.filePath(name));
        w.cmdAddFile_Click();
    }
    // The server goes away while the second file is on its way.
    QObject::connect(w.ui()->txtStatus, &QPlainTextEdit::textChanged, [&] {
        if (w.ui()->txtStatus->toPlainText().endsWith("b.htm"))
            server.stop();
    });
    w.cmdUploadAll_Click();
    EXPECT_TRUE(QFile::exists(server.path("a.htm")));
    ASSERT_EQ(criticalCount(), 2) << dialogs.messageTexts().join("|").toStdString();
    EXPECT_TRUE(dialogs.messages[0].text.contains("Procedure: FTPPut"));
    EXPECT_TRUE(dialogs.messages[1].text.startsWith("Error Msg: Cannot connect to the server"));
    EXPECT_TRUE(w.ui()->txtStatus->toPlainText().isEmpty());
    EXPECT_TRUE(w.isEnabled());

    FtpServer silent;
    ASSERT_TRUE(silent.start({"--silent"}));
    w.ui()->txtServerPort->setText(QString::number(silent.port()));
    w.setRequestTimeout(1);
    dialogs.messages.clear();
    int ticks = 0; // the program's events keep running while the client waits
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    w.cmdUploadCheck_Click();
    EXPECT_GT(ticks, 5);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("Error Msg: The server did not answer within 1 seconds"));
    EXPECT_TRUE(w.isEnabled());
}

TEST_F(UploadFixture, SettingsSurviveReopeningAndStayPrivate)
{
    ASSERT_TRUE(makeFile(site.filePath("a.htm"), "a"));
    const QString ini = app.filePath("ftpinfo.ini");
    ASSERT_TRUE(makeFile(ini, "[TEXT]\r\ntxtUserId=old\r\n")); // left readable by an earlier version
    QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    {
        FrmUploadInfo w;
        EXPECT_EQ(w.ui()->txtUserId->text(), "old");
        fill(w, "p@ss word", "www");
        w.ui()->txtServerPort->setText("2121");
        w.ui()->txtStatus->setPlainText("busy");
        dialogs.files.push_back(site.filePath("a.htm"));
        w.cmdAddFile_Click();
        addFolder(w, site.path());
        w.cmdCancel_Click();
    }
    EXPECT_EQ(fileMode(ini), 0600);
    EXPECT_FALSE(readAll(ini).contains("busy"));

    FrmUploadInfo again;
    Ui::FrmUploadInfo *ui = again.ui();
    EXPECT_EQ(ui->txtServerName->text(), "127.0.0.1");
    EXPECT_EQ(ui->txtServerPort->text(), "2121");
    EXPECT_EQ(ui->txtPassword->text(), "p@ss word");
    EXPECT_EQ(ui->txtRemoteDir->text(), "www");
    EXPECT_TRUE(ui->txtStatus->toPlainText().isEmpty());
    ASSERT_EQ(rows(again), 2);
    EXPECT_EQ(row(again, 0)->text(1), site.filePath("a.htm"));
    EXPECT_EQ(row(again, 1)->text(0), QFileInfo(site.path()).fileName());
    EXPECT_EQ(row(again, 1)->checkState(0), Qt::Unchecked);
    again.cmdCancel_Click();
    EXPECT_EQ(fileMode(ini), 0600);
}
