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

using namespace publish_testing;
using publish::FrmUploadInfo;
using testing_support::readAll;

namespace {

// A temporary application folder and a window pointed at a running server.
struct UploadFixture : ::testing::Test {
    QTemporaryDir app, site;
    FtpServer server;
    testing_support::RecordingDialogs dialogs;

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
    void addFile(FrmUploadInfo &w, const QString &path)
    {
        dialogs.files.push_back(path);
        w.cmdAddFile_Click();
    }
    void addFolder(FrmUploadInfo &w, const QString &path)
    {
        dialogs.folders.push_back(path);
        w.cmdAddFolder_Click();
    }
    // Presses an upload button; the messages it gave, "!" before critical ones. The window comes back.
    QStringList upload(FrmUploadInfo &w, void (FrmUploadInfo::*button)())
    {
        dialogs.messages.clear();
        (w.*button)();
        EXPECT_TRUE(w.isEnabled());
        QStringList texts;
        for (const auto &m : dialogs.messages)
            texts << (m.icon == platform::Icon::Critical ? "!" : "") + m.text;
        return texts;
    }
};

} // namespace

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
    EXPECT_EQ(upload(w, &FrmUploadInfo::cmdUploadAll_Click), QStringList{"Upload Over"});
    EXPECT_EQ(w.ui()->txtStatus->toPlainText(), "Upload Over");
    EXPECT_EQ(w.ui()->prgUpload->value(), w.ui()->prgUpload->maximum());
    for (int i = 0; i < pageRows; ++i)
        EXPECT_EQ(readAll(server.path("www/" + row(w, i)->text(0))), readAll(row(w, i)->text(1))) << i;
    EXPECT_EQ(readAll(server.path("www/a/one.htm")), sample(20000, 1));
    EXPECT_EQ(readAll(server.path("www/a/deep/two.htm")), sample(300, 2));
    EXPECT_EQ(readAll(server.path("www/b/three.htm")), sample(10, 3));
    EXPECT_EQ(server.logins(), 1);

    // Upload Selected sends the ticked rows only, again into the remote directory.
    QFile::remove(server.path("www/sunrise.htm"));
    QFile::remove(server.path("www/a/one.htm"));
    row(w, 0)->setCheckState(0, Qt::Checked);
    row(w, rows(w) - 1)->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(upload(w, &FrmUploadInfo::cmdUploadCheck_Click), QStringList{"Upload Over"});
    EXPECT_TRUE(QFile::exists(server.path("www/sunrise.htm")));
    EXPECT_FALSE(QFile::exists(server.path("www/a/one.htm")));
}

TEST_F(UploadFixture, FailuresAreReportedAndTheWindowComesBack)
{
    ASSERT_TRUE(server.start({"--perm", "elrw"})); // MKD refused
    ASSERT_TRUE(makeFile(site.filePath("a.htm"), "a"));
    ASSERT_TRUE(makeFile(site.filePath("dir/sub/b.htm"), "b"));
    FrmUploadInfo w;
    addFile(w, site.filePath("a.htm"));

    fill(w);
    for (const char *port : {"70000", " "}) { // a message, nothing sent
        w.ui()->txtServerPort->setText(port);
        EXPECT_TRUE(
            upload(w, &FrmUploadInfo::cmdUploadAll_Click).value(0).startsWith("Please enter a server port"));
    }
    EXPECT_EQ(server.logins(), 0);

    // Wrong password: the critical report only, nothing sent.
    fill(w, "wrong");
    QStringList texts = upload(w, &FrmUploadInfo::cmdUploadAll_Click);
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith("!Error Msg: ") && texts[0].contains("530 ")) << texts[0].toStdString();

    // Missing remote directory, with Upload Selected.
    fill(w, "secret", "missing");
    texts = upload(w, &FrmUploadInfo::cmdUploadCheck_Click);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].startsWith("!Error Msg: 550 "));
    EXPECT_TRUE(texts[0].endsWith("Procedure: FTPChangeRemoteFolder\r\n\r\nError Source: FTP Class"));
    EXPECT_EQ(texts[1], "Error Occured in uploading.");
    EXPECT_FALSE(QFile::exists(server.path("a.htm")));

    // MKD refused: the change into the folder reports; the file row is still sent.
    fill(w);
    w.cmdRemoveAll_Click();
    addFolder(w, site.filePath("dir"));
    addFile(w, site.filePath("a.htm"));
    texts = upload(w, &FrmUploadInfo::cmdUploadAll_Click);
    ASSERT_EQ(texts.size(), 1) << "no Upload Over after a failure";
    EXPECT_TRUE(texts[0].startsWith("!") && texts[0].contains("Procedure: FTPChangeRemoteFolder"));
    EXPECT_EQ(readAll(server.path("a.htm")), "a");
}

TEST_F(UploadFixture, ServerStoppedOrSilent)
{
    ASSERT_TRUE(server.start());
    FrmUploadInfo w;
    fill(w);
    for (const char *name : {"a.htm", "b.htm", "c.htm"}) {
        ASSERT_TRUE(makeFile(site.filePath(name), "x"));
        addFile(w, site.filePath(name));
    }
    // The server goes away while the second file is on its way.
    QObject::connect(w.ui()->txtStatus, &QPlainTextEdit::textChanged, [&] {
        if (w.ui()->txtStatus->toPlainText().endsWith("b.htm"))
            server.process->stop();
    });
    QStringList texts = upload(w, &FrmUploadInfo::cmdUploadAll_Click);
    EXPECT_TRUE(QFile::exists(server.path("a.htm")));
    ASSERT_EQ(texts.size(), 2) << texts.join("|").toStdString();
    EXPECT_TRUE(texts[0].startsWith("!") && texts[0].contains("Procedure: FTPPut"));
    EXPECT_TRUE(texts[1].startsWith("!Error Msg: Cannot connect to the server"));
    EXPECT_TRUE(w.ui()->txtStatus->toPlainText().isEmpty());

    FtpServer silent;
    ASSERT_TRUE(silent.start({"--silent"}));
    w.ui()->txtServerPort->setText(QString::number(silent.port()));
    w.setRequestTimeout(1);
    int ticks = 0; // the program's events keep running while the client waits
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    texts = upload(w, &FrmUploadInfo::cmdUploadCheck_Click);
    EXPECT_GT(ticks, 5);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].startsWith("!Error Msg: The server did not answer within 1 seconds"));
    EXPECT_EQ(texts[1], "Error Occured in uploading.");
}

TEST_F(UploadFixture, ListEditsAndSettingsSurviveReopeningAndStayPrivate)
{
    ASSERT_TRUE(makeFile(site.filePath("index.htm"), "x"));
    ASSERT_TRUE(makeFile(site.filePath("logo.gif"), "y"));
    // Comment lines, a missing file, a blank line and a folder are skipped.
    const QString list = site.filePath("index.htm.files");
    ASSERT_TRUE(makeFile(
        list, QStringList({"::a", "::b", site.filePath("index.htm"), "::c", site.filePath("missing.gif"), "",
                           site.filePath("logo.gif"), site.path(), ""})
                  .join("\r\n")
                  .toLocal8Bit()));
    const QString ini = app.filePath("ftpinfo.ini");
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    ASSERT_TRUE(makeFile(ini, "[TEXT]\r\ntxtUserId=old\r\n")); // left readable by an earlier version
    QFile::setPermissions(ini, ownerOnly | QFile::ReadGroup | QFile::ReadOther);
    {
        FrmUploadInfo w;
        EXPECT_EQ(w.ui()->txtUserId->text(), "old");
        addFolder(w, "/work/site/");
        EXPECT_EQ(row(w, 0)->text(0), "site");
        w.AddFilesToList(site.filePath("nothing.files"));
        EXPECT_EQ(rows(w), 1) << "a missing list changes nothing";
        w.AddFilesToList(list);
        ASSERT_EQ(rows(w), 2);
        EXPECT_EQ(row(w, 1)->text(0), "logo.gif");
        EXPECT_EQ(row(w, 1)->checkState(0), Qt::Unchecked);
        EXPECT_TRUE(row(w, 1)->isSelected());
        addFile(w, site.filePath("logo.gif"));
        addFile(w, ""); // cancelled
        addFolder(w, "  ");
        ASSERT_EQ(rows(w), 3);
        row(w, 0)->setCheckState(0, Qt::Checked);
        w.cmdRemove_Click(); // the ticked rows: the first one and the added file
        ASSERT_EQ(rows(w), 1);
        addFolder(w, site.path());
        fill(w, "p@ss word", "www");
        w.ui()->txtServerPort->setText("2121");
        w.ui()->txtStatus->setPlainText("busy");
        w.cmdCancel_Click();
    }
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(QFile::permissions(ini), ownerOnly);
    EXPECT_FALSE(readAll(ini).contains("busy"));

    FrmUploadInfo again;
    Ui::FrmUploadInfo *ui = again.ui();
    EXPECT_EQ(QStringList({ui->txtServerName->text(), ui->txtServerPort->text(), ui->txtUserId->text(),
                           ui->txtPassword->text(), ui->txtRemoteDir->text(), ui->txtStatus->toPlainText()}),
              QStringList({"127.0.0.1", "2121", "user", "p@ss word", "www", ""}));
    ASSERT_EQ(rows(again), 2);
    EXPECT_EQ(row(again, 0)->text(1), site.filePath("logo.gif"));
    EXPECT_EQ(row(again, 1)->text(0), QFileInfo(site.path()).fileName());
    EXPECT_EQ(row(again, 1)->checkState(0), Qt::Unchecked) << "ticks are not saved";
    again.cmdCancel_Click();
    EXPECT_EQ(QFile::permissions(ini), ownerOnly);
}
