#include "FtpServerFixture.h"
#include "MemoryTransport.h"
#include "common/RecordingDialogs.h"
#include "platform/AppFolder.h"
#include "publish/FrmUploadInfo.h"
#include "publish/FrmVersions.h"
#include "publish/SavedTarget.h"
#include "publish/UploadEngine.h"
#include "ui_FrmUploadInfo.h"
#include "ui_FrmVersions.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/prctl.h>

using namespace publish_testing;
using publish::FrmUploadInfo;
using testing_support::readAll;

namespace {

// A temporary application folder and windows whose engine talks to a server in memory.
struct UploadFixture : ::testing::Test {
    QTemporaryDir app, site;
    MemoryServer server;
    testing_support::RecordingDialogs dialogs;

    void SetUp() override
    {
        platform::setApplicationFolder(app.path());
        server.password = "secret";
        // No keyring here: the answer that keeps the password in the file, as before.
        ASSERT_TRUE(makeFile(app.filePath("ftpinfo.ini"), "[Password]\r\nStorage=file\r\n"));
    }
    std::unique_ptr<FrmUploadInfo> win;
    FrmUploadInfo &window()
    {
        win = std::make_unique<FrmUploadInfo>(nullptr, std::make_unique<publish::UploadEngine>([this] {
                                                  return std::make_unique<MemoryTransport>(server);
                                              }));
        return *win;
    }
    QByteArray remote(const QString &path) const
    {
        const auto f = server.files.find(path);
        return f == server.files.end() ? QByteArray("(missing)") : f->second;
    }
    void fill(FrmUploadInfo &w, const QString &password = "secret", const QString &dir = "")
    {
        Ui::FrmUploadInfo *ui = w.ui();
        ui->txtServerName->setText("127.0.0.1");
        ui->txtServerPort->setText("2121");
        ui->txtUserId->setText("user");
        ui->txtPassword->setText(password);
        ui->txtRemoteDir->setText(dir);
    }
    int rows(FrmUploadInfo &w) { return w.ui()->lstFiles->topLevelItemCount(); }
    QTreeWidgetItem *row(FrmUploadInfo &w, int i) { return w.ui()->lstFiles->topLevelItem(i); }
    // Adds a file, or a folder, through its picker.
    void add(FrmUploadInfo &w, const QString &path, bool folder = false)
    {
        (folder ? dialogs.folders : dialogs.files).push_back(path);
        folder ? w.cmdAddFolder_Click() : w.cmdAddFile_Click();
    }
    // Uploads all rows or the ticked ones: the window comes back, and the messages match `reports`
    // in order ("!" before a critical one).
    void upload(FrmUploadInfo &w, const QStringList &reports, bool ticked = false)
    {
        dialogs.messages.clear();
        ticked ? w.cmdUploadCheck_Click() : w.cmdUploadAll_Click();
        EXPECT_TRUE(w.isEnabled());
        QStringList texts;
        for (const auto &m : dialogs.messages)
            texts << (m.icon == platform::Icon::Critical ? "!" : "") + m.text;
        const QRegularExpression all(QRegularExpression::anchoredPattern(reports.join('\x1f')),
                                     QRegularExpression::DotMatchesEverythingOption);
        EXPECT_TRUE(texts.size() == reports.size() && all.match(texts.join('\x1f')).hasMatch())
            << texts.join(" | ").toStdString() << "\n  expected: " << reports.join(" | ").toStdString();
    }
};

} // namespace

TEST_F(UploadFixture, ListedPageAndFolderTreeLandInPlace)
{
    const QString page = site.filePath("sunrise.htm");
    ASSERT_TRUE(makeFile(page, "<title>Sunrise Pro</title><p>Sunrise Pro</p>"));
    ASSERT_TRUE(makeFile(site.filePath("logo.gif"), sample(500, 7)));
    ASSERT_TRUE(
        makeFile(page + ".files", (page + "\r\n" + site.filePath("logo.gif") + "\r\n").toLocal8Bit()));
    // tree/ has no files of its own; a/ has a file and a subfolder.
    const std::pair<QString, int> tree[] = {
        {"a/one.htm", 2000}, {"a/deep/two.htm", 300}, {"b/three.htm", 10}};
    for (const auto &[name, size] : tree)
        ASSERT_TRUE(makeFile(site.filePath("tree/" + name), sample(size, size)));

    FrmUploadInfo &w = window();
    fill(w, "secret", "www");
    w.AddFilesToList(page + ".files");
    const int pageRows = rows(w);
    ASSERT_GE(pageRows, 2);
    add(w, site.filePath("tree"), true);
    upload(w, {"Upload Over"});
    EXPECT_EQ(publish::SavedTarget::load(app.filePath("ftpinfo.ini")).target.remoteFolder, "www");
    EXPECT_EQ(w.ui()->txtStatus->toPlainText(), "Upload Over");
    EXPECT_EQ(w.ui()->prgUpload->value(), w.ui()->prgUpload->maximum());
    EXPECT_EQ(server.commands.first(), "CD www");
    for (int i = 0; i < pageRows; ++i)
        EXPECT_EQ(remote(row(w, i)->text(0)), readAll(row(w, i)->text(1))) << i;
    for (const auto &[name, size] : tree)
        EXPECT_EQ(remote(name), sample(size, size)) << name.toStdString();

    // Upload Selected sends the ticked rows: the list's come ticked, Space unticks one.
    server.files.erase("sunrise.htm");
    server.files.erase("a/one.htm");
    w.ui()->lstFiles->setCurrentItem(row(w, rows(w) - 1));
    QTest::keyClick(w.ui()->lstFiles, Qt::Key_Space);
    upload(w, {"Upload Over"}, true);
    EXPECT_EQ(remote("sunrise.htm"), readAll(page));
    EXPECT_EQ(remote("a/one.htm"), "(missing)");
}

TEST_F(UploadFixture, FailuresAreReportedAndTheWindowComesBack)
{
    ASSERT_TRUE(makeFile(site.filePath("a.htm"), "a"));
    ASSERT_TRUE(makeFile(site.filePath("dir/sub/b.htm"), "b"));
    FrmUploadInfo &w = window();
    add(w, site.filePath("a.htm"));

    fill(w);
    for (const char *port : {"70000", "x"}) { // a message, nothing sent
        w.ui()->txtServerPort->setText(port);
        upload(w, {"Please enter a server port.*"});
    }
    EXPECT_TRUE(server.commands.isEmpty());

    // Wrong password: a plain sentence, the report in the status box; nothing sent or saved.
    fill(w, "wrong");
    upload(w, {"!The server refused the user name or password\\."});
    EXPECT_TRUE(w.ui()->txtStatus->toPlainText().contains("Error Msg: 530 "));
    EXPECT_EQ(readAll(app.filePath("ftpinfo.ini")), "[Password]\r\nStorage=file\r\n");

    // A missing remote directory the server will not make, with Upload Selected.
    server.mkdirRefused = true;
    fill(w, "secret", "missing");
    row(w, 0)->setCheckState(0, Qt::Unchecked);
    upload(w, {"Tick the files to send first\\."}, true);
    row(w, 0)->setCheckState(0, Qt::Checked);
    upload(w,
           {"!The server has no remote folder \"missing\", or refused to open it\\.",
            "Error Occured in uploading\\."},
           true);
    EXPECT_TRUE(server.files.empty());

    // MKD refused: the file in the new folder is reported; the file row is still sent.
    server.mkdirRefused = true;
    fill(w);
    w.cmdRemoveAll_Click();
    add(w, site.filePath("dir"), true);
    add(w, site.filePath("a.htm"));
    const QString mkdRefused = "!The server refused the file sub/b\\.htm\\.";
    upload(w, {mkdRefused}); // and no "Upload Over"
    EXPECT_EQ(remote("a.htm"), "a");
    // The server cannot rename either: replacing a file in place is asked first.
    server.renameRefused = true;
    ASSERT_TRUE(makeFile(site.filePath("a.htm"), "a, changed"));
    const QString asked = "The server refuses to rename files.*Replace the files in place\\?.*";
    dialogs.answers = {platform::Answer::No};
    upload(w, {asked, "!The server cannot rename files into place.*nothing was replaced\\."});
    EXPECT_EQ(remote("a.htm"), "a");
    upload(w, {asked, mkdRefused});
    EXPECT_EQ(remote("a.htm"), "a, changed");
}

TEST_F(UploadFixture, ServerGoneOrSlow)
{
    FrmUploadInfo &w = window();
    fill(w);
    for (const char *name : {"a.htm", "b.htm", "c.htm"}) {
        ASSERT_TRUE(makeFile(site.filePath(name), "x"));
        add(w, site.filePath(name));
    }
    // The server goes away while the second file is on its way: one report.
    QObject::connect(w.ui()->txtStatus, &QPlainTextEdit::textChanged, [&] {
        if (w.ui()->txtStatus->toPlainText().endsWith("b.htm"))
            server.failAll = transport::kTransportConnectionLost;
    });
    upload(w, {"!The connection to 127\\.0\\.0\\.1 was lost\\."});
    EXPECT_EQ(remote("a.htm"), "x");
    EXPECT_TRUE(w.ui()->txtStatus->toPlainText().contains("Procedure: FTPPut"));

    // A slow server that ends by timing out: the window's timeout reaches the client,
    // and the program's events keep running while it waits.
    server.failAll = transport::kTransportTimedOut;
    server.busyMs = 400;
    w.setRequestTimeout(1);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    for (int i = 0; i < rows(w); ++i)
        row(w, i)->setCheckState(0, Qt::Checked);
    upload(w, {"!The server 127\\.0\\.0\\.1 did not answer in time\\.", "Error Occured in uploading\\."},
           true);
    EXPECT_EQ(server.timeout, 1);
    EXPECT_GT(ticks, 3);
}

// The protocol box offers the three protocols; an empty port box shows the protocol's port.
TEST_F(UploadFixture, ListEditsAndSettingsSurviveReopeningAndStayPrivate)
{
    ASSERT_TRUE(makeFile(site.filePath("index.htm"), "x"));
    ASSERT_TRUE(makeFile(site.filePath("logo.gif"), "y"));
    // Comment lines and a blank line are passed over; a missing file and a folder are
    // left out and named in the status box.
    const QString list = site.filePath("index.htm.files");
    ASSERT_TRUE(makeFile(
        list, QString("::a\r\n::b\r\n%1/index.htm\r\n::c\r\n%1/missing.gif\r\n\r\n%1/logo.gif\r\n%1\r\n")
                  .arg(site.path())
                  .toLocal8Bit()));
    const QString ini = app.filePath("ftpinfo.ini");
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    const QByteArray before = "[TEXT]\r\ntxtUserId=old\r\nKeepVersions=3\r\n";
    ASSERT_TRUE(makeFile(ini, before)); // left readable by an earlier version
    QFile::setPermissions(ini, ownerOnly | QFile::ReadGroup | QFile::ReadOther);
    {
        FrmUploadInfo w;
        EXPECT_EQ(w.ui()->txtUserId->text(), "old");
        add(w, "/work/site/", true);
        EXPECT_EQ(row(w, 0)->text(0), "site");
        w.AddFilesToList(site.filePath("nothing.files"));
        EXPECT_EQ(rows(w), 0) << "no page, no rows: what the list held never stays";
        w.AddFilesToList(list);
        ASSERT_EQ(rows(w), 2);
        EXPECT_EQ(w.ui()->txtStatus->toPlainText(),
                  QString("Not in the list: %1/missing.gif (no such file)\nNot in the list: %1 (not a file)")
                      .arg(site.path()));
        EXPECT_EQ(row(w, 1)->text(0), "logo.gif");
        EXPECT_EQ(row(w, 1)->checkState(0), Qt::Checked);
        add(w, site.filePath("logo.gif"));
        add(w, ""); // cancelled
        add(w, "  ", true);
        ASSERT_EQ(rows(w), 3);
        row(w, 1)->setCheckState(0, Qt::Unchecked);
        w.cmdRemove_Click(); // the ticked rows: the first one and the added file
        ASSERT_EQ(rows(w), 1);
        add(w, site.path(), true);
        fill(w, "p@ss word", "www");
        Ui::FrmUploadInfo *ui = w.ui();
        QStringList protocols;
        for (int i = 0; i < ui->cboProtocol->count(); ++i)
            protocols << ui->cboProtocol->itemText(i);
        EXPECT_EQ(protocols, QStringList({"FTP", "FTP with TLS", "SFTP", "S3-compatible storage"}));
        ui->txtServerPort->clear();
        EXPECT_EQ(ui->txtServerPort->placeholderText(), "21");
        ui->cboProtocol->setCurrentIndex(2);
        EXPECT_EQ(ui->txtServerPort->placeholderText(), "22");
        ui->cboProtocol->setCurrentIndex(1);
        ui->txtServerPort->setText("2121");
        EXPECT_TRUE(ui->chkOnlyChanged->isChecked());
        ui->chkOnlyChanged->setChecked(false);
        ui->txtWebAddress->setText("https://www.example.com/shop/");
        ui->chkActiveMode->setChecked(true);
        ui->spnConnections->setValue(5);
        ui->txtStatus->setPlainText("busy");
        w.cmdCancel_Click();
        EXPECT_EQ(readAll(ini), before) << "Cancel keeps nothing";
        dialogs.choices = {0}; // no keyring here: keep the password in the file
        w.cmdSave_Click();
    }
    EXPECT_EQ(dialogs.messages.size(), 1u);
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
    EXPECT_EQ(ui->cboProtocol->currentText(), "FTP with TLS");
    EXPECT_FALSE(ui->chkOnlyChanged->isChecked());
    EXPECT_EQ(ui->spnConnections->value(), 5);
    EXPECT_EQ(publish::SavedTarget::load(ini).keepVersions, 3) << "the window has no box for it";
    publish::Target saved = publish::SavedTarget::load(ini).target;
    EXPECT_TRUE(saved.activeMode && ui->chkActiveMode->isChecked());
    EXPECT_EQ(saved.protocol, publish::Protocol::FtpTls);
    EXPECT_EQ(saved.webAddress, "https://www.example.com/shop/");
    EXPECT_FALSE(readAll(ini).contains("txtBucket")) << "an FTP target's file keeps its keys";

    // S3 names the boxes for what they hold, hides the port and stores what it adds.
    EXPECT_FALSE(ui->txtBucket->isVisibleTo(&again));
    ui->cboProtocol->setCurrentIndex(3);
    EXPECT_EQ(ui->lblUserId->text(), "Access Key");
    EXPECT_TRUE(ui->txtBucket->isVisibleTo(&again) && !ui->txtServerPort->isVisibleTo(&again));
    ui->txtBucket->setText("site");
    ui->txtRegion->setText("eu-west-1");
    ui->chkPathStyle->setChecked(false);
    again.cmdSave_Click();
    saved = publish::SavedTarget::load(ini).target;
    EXPECT_EQ(QStringList({publish::ProtocolKey(saved.protocol), saved.bucket, saved.region}),
              QStringList({"s3", "site", "eu-west-1"}));
    EXPECT_FALSE(saved.pathStyle);
}
// A page without a ".files" list sends itself and the local files it refers to, never another
// product's saved list; each lands where the page's addresses lead, in a folder made for them.
TEST_F(UploadFixture, APageWithoutAListSendsItselfAndWhatItRefersTo)
{
    const QString page = site.filePath("shop/offer.htm");
    for (const char *f : {"shop/img/logo.gif", "shop/img/logo2x.gif", "shop/img/bg.png", "shop/buy.htm",
                          "outside.gif", "other/old.htm"})
        ASSERT_TRUE(makeFile(site.filePath(f), f));
    ASSERT_TRUE(makeFile(site.filePath("shop/css/style.css"), "body { background: url('../img/bg.png') }"));
    ASSERT_TRUE(makeFile(page, "<title>Offer</title><link rel=stylesheet href=\"css/style.css\"><img "
                               "src=\"img/logo.gif\" srcset=\"img/logo2x.gif 2x\"><a href=\"buy.htm\">Buy</a>"
                               "<img src=\"../outside.gif\"><a href=\"https://example.com/x.gif\">x</a>"));
    add(window(), site.filePath("other/old.htm"));
    fill(*win);
    win->cmdSave_Click(); // the previous product's list, saved

    FrmUploadInfo &w = window();
    ASSERT_EQ(rows(w), 1);
    w.AddFilesToList(page + ".files");
    QStringList shown;
    for (int i = 0; i < rows(w); ++i)
        shown << row(w, i)->text(0) + (row(w, i)->checkState(0) == Qt::Checked ? "" : " (unticked)");
    EXPECT_EQ(shown, QStringList({"offer.htm", "css/style.css", "img/bg.png", "img/logo.gif",
                                  "img/logo2x.gif", "buy.htm"}));
    EXPECT_TRUE(w.ui()->txtStatus->toPlainText().contains("outside.gif (outside the page's folder"));
    fill(w, "secret", "shop/new");
    upload(w, {"Upload Over"});
    for (const QString &name : shown)
        EXPECT_EQ(remote(name), readAll(site.filePath("shop/" + name))) << qPrintable(name);
    EXPECT_EQ(remote("old.htm"), "(missing)");
    EXPECT_EQ(w.ui()->txtStatus->toPlainText(), "Upload Over\ncreated shop/new");
}

// Dry run, Cancel in the middle, then the rest; the progress bar starts from zero
// each time; Test connection answers in one line.
TEST_F(UploadFixture, DryRunCancelAndTestConnection)
{
    FrmUploadInfo &w = window();
    fill(w, "wrong", "www");
    w.ui()->txtServerPort->setText("65535"); // the highest port is one
    w.cmdTestConnection_Click();
    EXPECT_EQ(w.ui()->txtStatus->toPlainText(), "The server refused the user name or password.");
    EXPECT_EQ(readAll(app.filePath("ftpinfo.ini")), "[Password]\r\nStorage=file\r\n")
        << "a failed connect keeps nothing";
    fill(w, "secret", "new");
    w.cmdTestConnection_Click();
    EXPECT_TRUE(w.ui()->txtStatus->toPlainText().contains("\"new\" could not be opened; publishing creates"));
    EXPECT_EQ(publish::SavedTarget::load(app.filePath("ftpinfo.ini")).target.remoteFolder, "new");
    fill(w, "secret", "www");

    for (const char *name : {"a.gif", "b.gif", "c.gif", "d.htm"}) {
        ASSERT_TRUE(makeFile(site.filePath(name), sample(1000, name[0])));
        add(w, site.filePath(name));
    }
    w.ui()->chkDryRun->setChecked(true);
    upload(w, {});
    EXPECT_TRUE(w.ui()->txtStatus->toPlainText().startsWith(
        "Dry run: 4 files would be sent, 0 are unchanged; nothing was sent.\nWould send: a.gif\n"));
    EXPECT_TRUE(server.files.empty());
    w.ui()->chkDryRun->setChecked(false);

    QObject::connect(w.ui()->txtStatus, &QPlainTextEdit::textChanged, [&] {
        if (w.ui()->txtStatus->toPlainText().endsWith("b.gif") && w.ui()->cmdCancel->isEnabled())
            QTest::mouseClick(w.ui()->cmdCancel, Qt::LeftButton);
    });
    upload(w, {});
    EXPECT_EQ(w.ui()->txtStatus->toPlainText(), "Stopped after 2 files; the next publish sends the rest.");
    EXPECT_EQ(remote("b.gif"), sample(1000, 'b'));
    EXPECT_EQ(remote("c.gif"), "(missing)");

    QList<int> values;
    QObject::connect(w.ui()->prgUpload, &QProgressBar::valueChanged, [&](int v) { values << v; });
    upload(w, {"Upload Over"});
    ASSERT_FALSE(values.isEmpty());
    EXPECT_EQ(values.first(), 0) << "the bar starts from zero";
    EXPECT_EQ(values.last(), w.ui()->prgUpload->maximum());
    EXPECT_EQ(remote("d.htm"), sample(1000, 'd'));
}

// After a publish the page's address is shown and checked over HTTP.
TEST_F(UploadFixture, WebAddressIsCheckedAfterPublish)
{
    QTemporaryDir web;
    ASSERT_TRUE(QFile::link(site.path(), web.filePath("live"))); // what the server serves is what was sent
    // A page named .html is as much a page; a live page larger than the one sent, or far
    // larger, is no copy of it either.
    ASSERT_TRUE(makeFile(web.filePath("old/index.html"), "old"));
    ASSERT_TRUE(makeFile(web.filePath("big/index.html"), QByteArray(2500, 'b')));
    ASSERT_TRUE(makeFile(web.filePath("huge/index.html"), QByteArray(2000 + (2 << 20), 'h')));
    testing_support::ServerProcess http(
        testing_support::systemPython(),
        {testing_support::sourceDir() + "/tests/publish/ftp_server.py", "--http", "--root", web.path()});
    ASSERT_TRUE(http.start());
    const QString base = QString("http://127.0.0.1:%1/").arg(http.port());
    ASSERT_TRUE(makeFile(site.filePath("logo.gif"), sample(300, 1)));
    ASSERT_TRUE(makeFile(site.filePath("index.html"), sample(2000, 2)));
    ASSERT_TRUE(makeFile(site.filePath("more.htm"), "more"));

    FrmUploadInfo &w = window();
    fill(w, "secret", "www");
    add(w, site.filePath("index.html"));
    add(w, site.filePath("logo.gif"));
    add(w, site.filePath("more.htm")); // the first page is the one checked
    // The page answers whole, with the wrong size, with an error, or not at all.
    const std::pair<QString, QString> checks[] = {
        {base + "live",
         "Upload Over\nThe page is at " + base + "live/index.html\nIt answers with the page just sent."},
        {base + "old/", "answered with 3 bytes, but 2000 were sent."},
        {base + "big/", "answered with 2500 bytes, but 2000 were sent."},
        {base + "huge/", "bytes, but 2000 were sent."},
        {base + "none/", "answered 404 File not found instead of 200."},
        {"http://127.0.0.1:1/",
         "The page at http://127.0.0.1:1/index.html did not answer (Connection refused)."}};
    for (const auto &[address, ending] : checks) {
        w.ui()->txtWebAddress->setText(address);
        upload(w, {"Upload Over"});
        EXPECT_TRUE(w.ui()->txtStatus->toPlainText().contains(ending))
            << qPrintable(w.ui()->txtStatus->toPlainText());
        if (address == base + "live") {
            EXPECT_TRUE(w.ui()->lblLiveAddress->text().contains("href=\"" + base + "live/index.html\""));
        }
        EXPECT_FALSE(w.ui()->txtStatus->toPlainText().contains("with 0 bytes"));
    }
}

// Versions… lists what was published; the roll-back asks first and then publishes the
// chosen version, as an upload does.
TEST_F(UploadFixture, VersionsRollBackAfterAskingAndPublishLikeAnUpload)
{
    ASSERT_TRUE(makeFile(site.filePath("index.htm"), "first"));
    FrmUploadInfo &w = window();
    fill(w, "secret", "www");
    add(w, site.filePath("index.htm"));
    dialogs.messages.clear();
    w.cmdVersions_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("No versions are kept"));
    upload(w, {"Upload Over"});
    ASSERT_TRUE(makeFile(site.filePath("index.htm"), "second"));
    ASSERT_TRUE(makeFile(site.filePath("extra.txt"), "extra"));
    add(w, site.filePath("extra.txt"));
    upload(w, {"Upload Over"});

    w.cmdVersions_Click();
    auto *versions = w.findChild<publish::FrmVersions *>();
    ASSERT_TRUE(versions && versions->isVisible());
    ASSERT_EQ(versions->ui()->lstVersions->topLevelItemCount(), 2);
    EXPECT_EQ(versions->ui()->lstVersions->indexOfTopLevelItem(versions->ui()->lstVersions->currentItem()), 1)
        << "the one before the last is offered";
    for (const platform::Answer answer : {platform::Answer::No, platform::Answer::Yes}) {
        dialogs.messages.clear();
        dialogs.answers.push_back(answer);
        versions->cmdRollBack_Click();
        ASSERT_FALSE(dialogs.messages.empty());
        EXPECT_TRUE(dialogs.messages[0].text.contains("(1 files)")) << "the chosen version's, not the last";
        EXPECT_EQ(remote("index.htm"), answer == platform::Answer::Yes ? "first" : "second");
    }
    EXPECT_EQ(dialogs.messages.size(), 2u) << "the question, then the upload's own report";
    EXPECT_EQ(dialogs.messages.back().text, "Upload Over");
    EXPECT_FALSE(versions->isVisible());
}

// The window checks the pages it is about to send and asks before it sends one with
// errors; the answer decides whether anything reaches the server.
TEST_F(UploadFixture, AsksBeforeSendingAPageWithErrors)
{
    const QString page = site.filePath("offer.htm");
    const QByteArray broken = "<title>Offer</title><p>Now <ZOR_PAGE_DATA_NEWPRICE></p>";
    ASSERT_TRUE(makeFile(page, broken));
    ASSERT_TRUE(makeFile(page + ".files", ":: list\r\n" + page.toLocal8Bit() + "\r\n"));
    FrmUploadInfo &w = window();
    fill(w);
    w.AddFilesToList(page + ".files");
    ASSERT_EQ(rows(w), 1);

    const QString question = "offer\\.htm has 1 error, the first on line 1: .*Send anyway\\?";
    dialogs.answers = {platform::Answer::No};
    upload(w, {question});
    EXPECT_EQ(dialogs.messages[0].buttons, platform::Buttons::YesNo);
    EXPECT_TRUE(server.commands.isEmpty()) << "No: nothing reaches the server";

    dialogs.answers = {platform::Answer::Yes};
    row(w, 0)->setCheckState(0, Qt::Checked);
    upload(w, {question, "Upload Over"}, true);
    EXPECT_EQ(remote("offer.htm"), broken) << "Yes: the page goes as it is";

    ASSERT_TRUE(makeFile(page, "<title>Offer</title><p>Now $5</p>"));
    upload(w, {"Upload Over"});
    EXPECT_EQ(remote("offer.htm"), "<title>Offer</title><p>Now $5</p>");
}

// Files sent before and no longer listed go only on a whole publish, and more than ten
// only when the user says so; kept, they are named in the status box.
TEST_F(UploadFixture, UnusedFilesGoOnlyOnAWholePublishAndWhenAllowed)
{
    for (int i = 0; i < 11; ++i)
        ASSERT_TRUE(makeFile(site.filePath(QString("old/%1.gif").arg(i)), "x"));
    ASSERT_TRUE(makeFile(site.filePath("a.htm"), "a"));
    FrmUploadInfo &w = window();
    fill(w);
    add(w, site.filePath("old"), true);
    add(w, site.filePath("a.htm"));
    upload(w, {"Upload Over"});
    ASSERT_EQ(server.files.size(), 12u);

    w.cmdRemoveAll_Click();
    add(w, site.filePath("a.htm"));
    w.ui()->chkRemoveUnused->setChecked(true);
    row(w, 0)->setCheckState(0, Qt::Checked);
    upload(w, {"Upload Over"}, true);
    EXPECT_EQ(server.files.size(), 12u) << "Upload Selected removes nothing";
    EXPECT_FALSE(w.ui()->txtStatus->toPlainText().contains("No longer used")) << "nor calls the rest unused";
    w.ui()->chkDryRun->setChecked(true);
    upload(w, {}, true);
    EXPECT_FALSE(w.ui()->txtStatus->toPlainText().contains("No longer used")) << "nor does its dry run";
    w.ui()->chkDryRun->setChecked(false);

    const QString asked = "11 files on the server are no longer used:\n0\\.gif\n.*Remove them\\?";
    dialogs.answers = {platform::Answer::No};
    upload(w, {asked, "Upload Over"});
    EXPECT_EQ(server.files.size(), 12u);
    EXPECT_TRUE(
        w.ui()->txtStatus->toPlainText().endsWith("No longer used: 0.gif, 1.gif, 10.gif, 2.gif, 3.gif, "
                                                  "4.gif, 5.gif, 6.gif, 7.gif, 8.gif, 9.gif"))
        << qPrintable(w.ui()->txtStatus->toPlainText());
    dialogs.answers = {platform::Answer::Yes};
    upload(w, {asked, "Upload Over"});
    EXPECT_EQ(server.files.size(), 1u);
    EXPECT_FALSE(w.ui()->txtStatus->toPlainText().contains("No longer used")) << "removed, not kept";
}

// The saved password belongs to the saved protocol, server, port and user: it leaves
// the box with any of them and comes back with them; one typed in stays.
TEST_F(UploadFixture, SavedPasswordStaysWithItsServer)
{
    ASSERT_TRUE(makeFile(app.filePath("ftpinfo.ini"), "[TEXT]\r\ntxtServerName=ftp.example.com\r\n"
                                                      "txtUserId=me\r\ntxtPassword=pw\r\n"
                                                      "cboProtocol=FTP with TLS\r\n"));
    ASSERT_EQ(::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
    FrmUploadInfo w;
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0) << "a window holding a password can be dumped";
    Ui::FrmUploadInfo *ui = w.ui();
    ASSERT_EQ(ui->txtPassword->text(), "pw");
    const std::function<void(bool)> changes[] = {
        [&](bool away) { ui->cboProtocol->setCurrentIndex(away ? 0 : 1); },
        [&](bool away) { ui->txtServerName->setText(away ? "www.example.com" : "ftp.example.com"); },
        [&](bool away) { ui->txtServerPort->setText(away ? "2121" : "21"); },
        [&](bool away) { ui->txtUserId->setText(away ? "you" : "me"); },
    };
    for (int i = 0; i < 4; ++i) {
        changes[i](true);
        EXPECT_EQ(ui->txtPassword->text(), "") << i;
        changes[i](false);
        EXPECT_EQ(ui->txtPassword->text(), "pw") << i;
    }
    ui->txtUserId->setText("you");
    ui->txtPassword->setText("typed");
    ui->txtUserId->setText("me");
    EXPECT_EQ(ui->txtPassword->text(), "typed");
}

// No keyring: the window asks where the password goes and remembers the answer; unanswered,
// the file keeps only what it held. "Ask for it each time" asks on connecting.
TEST_F(UploadFixture, WithoutAKeyringTheUserChoosesWhereThePasswordGoes)
{
    const QString ini = app.filePath("ftpinfo.ini");
    const struct {
        QString inFile, typed; // the password the file held, one typed in
        int answer, questions; // -1: the question closed; questions after saving twice
        QString keptInFile;
        publish::PasswordStorage storage;
    } cases[] = {
        {"old-pw", "", -1, 2, "old-pw", publish::PasswordStorage::Keyring},
        {"old-pw", "new-pw", -1, 2, "old-pw", publish::PasswordStorage::Keyring},
        {"", "new-pw", -1, 1, "", publish::PasswordStorage::Keyring},
        {"", "new-pw", 0, 1, "new-pw", publish::PasswordStorage::File},
        {"old-pw", "", 1, 1, "", publish::PasswordStorage::Ask},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(&c - cases);
        ASSERT_TRUE(
            makeFile(ini, "[TEXT]\r\ntxtServerName=127.0.0.1\r\ntxtServerPort=2121\r\ntxtUserId=user\r\n"
                          "txtRemoteDir=www\r\ntxtPassword=" +
                              c.inFile.toUtf8()));
        dialogs.messages.clear();
        dialogs.choices = {c.answer};
        FrmUploadInfo &w = window();
        if (!c.typed.isEmpty())
            w.ui()->txtPassword->setText(c.typed);
        w.cmdSave_Click();
        window().cmdSave_Click();
        ASSERT_EQ(int(dialogs.messages.size()), c.questions);
        EXPECT_TRUE(dialogs.messages[0].text.startsWith(
            "No keyring is available to keep the password of ftp://user@127.0.0.1:2121 safe ("));
        EXPECT_EQ(
            dialogs.messages[0].choices,
            QStringList({"Keep the password in ftpinfo.ini (readable by you only)", "Ask for it each time"}));
        const publish::SavedTarget saved = publish::SavedTarget::load(ini);
        EXPECT_EQ(saved.target.password, c.keptInFile);
        EXPECT_EQ(saved.storage, c.storage);
    }

    FrmUploadInfo &ask = window();
    dialogs.texts = {std::nullopt, QString("secret")};
    ask.cmdTestConnection_Click();
    EXPECT_TRUE(server.commands.isEmpty()) << "cancelled: nothing connects";
    ask.cmdTestConnection_Click();
    EXPECT_TRUE(ask.ui()->txtStatus->toPlainText().startsWith("Connected to 127.0.0.1"));
    EXPECT_EQ(dialogs.textPrompts, std::vector<QString>(2, "Password for ftp://user@127.0.0.1:2121:"));
}
