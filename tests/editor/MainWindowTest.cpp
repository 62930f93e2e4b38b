// The main window with the real views: start-up against a local update server, the
// tab switch through the file, the formatting commands and the document commands.
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "desktop/OpenURLInNewWindow.h"
#include "desktop/UpdateCheck.h"
#include "desktop/frmCheck4Updates.h"
#include "editor/MainWindowPeers.h"
#include "editor/frmDialog_Table.h"
#include "editor/frmMain.h"
#include "platform/AppFolder.h"
#include "platform/widgets/BrowserView.h"
#include "platform/widgets/DesignView.h"
#include "platform/widgets/SourceView.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

using editor::frmMain;
using platform::Answer;
using testing_support::readAll;
using testing_support::writeAll;

namespace {

struct FakePeer : editor::WizardPeer {
    QStringList calls;
    void ClearAll() override { calls << "ClearAll"; }
    void showFirstStep() override { calls << "showFirstStep"; }
    void showWizard(bool modal) override { calls << (modal ? "showWizard(modal)" : "showWizard"); }
    void unloadWizard() override { calls << "unloadWizard"; }
    void showLoadFile() override { calls << "showLoadFile"; }
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        platform::setApplicationFolder(dir.path());
        desktop::setUrlOpener([this](const QUrl &url) {
            opened << url;
            return true;
        });
        window = std::make_unique<frmMain>();
        window->setWizardPeer(&peer);
    }
    void TearDown() override
    {
        if (auto *check = desktop::frmCheck4Updates::instance())
            check->unload();
        window.reset();
        desktop::setUrlOpener({});
        frmMain::setModalRunner({});
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    void selectTab(int index) { window->SSTabEditor->setCurrentIndex(index); }
    QString design() { return window->DHTMLEdit1->DocumentHTML(); }

    QTemporaryDir dir;
    testing_support::RecordingDialogs dialogs;
    FakePeer peer;
    QList<QUrl> opened;
    std::unique_ptr<frmMain> window;
};

// The source view counts a line end as one character.
QString lf(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// Runs the load handler against a local update server that gives `answer`.
void startAgainst(frmMain &window, const char *answer)
{
    testing_support::ServerProcess server(
        testing_support::systemPython(),
        {testing_support::sourceDir() + QStringLiteral("/tests/editor/update_server.py"),
         QString::fromLatin1(answer)});
    ASSERT_TRUE(server.start()) << server.output().constData();
    desktop::setUpdateServer(QStringLiteral("http://127.0.0.1:%1/").arg(server.port()));
    window.Form_Load();
    desktop::setUpdateServer(QString());
}

} // namespace

TEST_F(MainWindow, StartUpShowsTheStartPageOnceTheCheckAllows)
{
    startAgainst(*window, "x||1.0.0||y");
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(desktop::frmCheck4Updates::instance(), nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillmark from Orlenway"));
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->rtbHTMLSource->Text(), lf(frmMain::GetStartHTML()));
    EXPECT_EQ(window->rtbHTMLSource->colorAt(0), 0xFF0000u); // "<HTML>" is a blue tag
    EXPECT_TRUE(design().contains(QStringLiteral("<title>Quillmark from Orlenway</title>")));

    // A server that cannot be reached: the check fails early, the window shows all the same.
    window->hide();
    desktop::setUpdateServer(QStringLiteral("http://127.0.0.1:9/"));
    window->Form_Load();
    desktop::setUpdateServer(QString());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(desktop::frmCheck4Updates::instance(), nullptr);

    // A newer version: hidden until the update window closes.
    window->hide();
    startAgainst(*window, "x||1.0.1||y");
    auto *check = desktop::frmCheck4Updates::instance();
    ASSERT_NE(check, nullptr);
    EXPECT_TRUE(check->UpdateFound && check->isVisible());
    EXPECT_FALSE(window->isVisible());
    check->close();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindow, EachTabSwitchWritesTheViewLeftAndReloadsTheOthers)
{
    // A new document goes to the preview file.
    window->DHTMLEdit1->setDocumentHTML(QStringLiteral("<html><body><p>Designed</p></body></html>"));
    selectTab(1);
    const QString preview = path(QStringLiteral("~temp.htm"));
    EXPECT_EQ(window->CurrentFile, preview);
    EXPECT_EQ(window->CurrentTab, 1);
    EXPECT_TRUE(readAll(preview).contains("Designed"));
    EXPECT_EQ(window->rtbHTMLSource->Text(), lf(QString::fromLocal8Bit(readAll(preview))));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->WebBrowser1->url() == QUrl::fromLocalFile(preview); }));
    EXPECT_FALSE(window->tBarStd->isEnabled());

    // Source to preview writes the source and refreshes the design view.
    window->rtbHTMLSource->setText(QStringLiteral("<html><body><p>Typed</p></body></html>"));
    selectTab(2);
    EXPECT_EQ(readAll(preview), QByteArray("<html><body><p>Typed</p></body></html>"));
    EXPECT_TRUE(design().contains(QStringLiteral("Typed")));

    // Leaving the preview moves nothing.
    writeAll(preview, "<html><body>elsewhere</body></html>");
    selectTab(0);
    EXPECT_TRUE(design().contains(QStringLiteral("Typed")));
    EXPECT_TRUE(window->tBarStd->isEnabled());

    // Design changes reach the user's file.
    window->CurrentFile = path(QStringLiteral("page.htm"));
    window->DHTMLEdit1->setDocumentHTML(QStringLiteral("<html><body><p>Mine</p></body></html>"));
    selectTab(2);
    EXPECT_TRUE(readAll(window->CurrentFile).contains("Mine"));
    EXPECT_TRUE(window->rtbHTMLSource->Text().contains(QStringLiteral("Mine")));
}

TEST_F(MainWindow, UntouchedMarkupSurvivesATripThroughTheDesignView)
{
    const QByteArray handWritten =
        "<HTML>\r\n<BODY BGCOLOR='white'>\r\n  <P  ALIGN=center>Hand   made<BR>\r\n"
        "</BODY>\r\n</HTML>\r\n";
    window->CurrentFile = path(QStringLiteral("hand.htm"));
    writeAll(window->CurrentFile, handWritten);
    window->DHTMLEdit1->LoadDocument(window->CurrentFile);
    selectTab(1);
    selectTab(0);
    selectTab(1);
    EXPECT_EQ(readAll(window->CurrentFile), handWritten);
    EXPECT_EQ(window->rtbHTMLSource->Text(), lf(QString::fromLocal8Bit(handWritten)));

    selectTab(0);
    window->Toolbar1_ButtonClick(QStringLiteral("save"));
    EXPECT_EQ(readAll(window->CurrentFile), handWritten);

    // A change in the design view is written, though.
    window->DHTMLEdit1->setBgColor(QStringLiteral("FF0000"));
    selectTab(1);
    EXPECT_NE(readAll(window->CurrentFile), handWritten);
}

TEST_F(MainWindow, EveryFormattingKeyRunsItsCommand)
{
    dialogs.colors = {0x0000FF, 0xFF0000};
    dialogs.texts = {QStringLiteral("https://example.com/"), QStringLiteral("pic.png")};
    QFont font(QStringLiteral("Serif"), 24);
    font.setBold(true);
    dialogs.fonts = {font};
    // The keys run in turn on a selected word; the document then holds each part
    // (parts split by "|", lower case), or lacks it when it starts with "!". The last
    // prompt is cancelled.
    // clang-format off
    const std::pair<const char *, const char *> cases[] = {
        {"bold", "<b>word</b>"},   {"italic", "<i>word</i>"},   {"underline", "<u>word</u>"},
        {"center", "center"},      {"right", "right"},          {"right left", "!right"},
        {"numbullet", "<ol><li>"}, {"bullet", "<ul><li>"},      {"indentright", "<blockquote"},
        {"indentright indentleft", "!<blockquote"}, {"textcolor", "<font color=\"#ff0000\">word</font>"},
        {"link", "<a href=\"https://example.com/\">word</a>"}, {"backcolor", "bgcolor=\"0000ff\""},
        {"image", "<img src=\"pic.png\">"}, {"font", "face=\"serif\"|size=\"6\"|<b>word</b>"},
        {"bold undo", "!<b>"},     {"bold undo redo", "<b>word</b>"},
        {"cut", "!word"},          {"cut paste", "word"},       {"link", "!<a "}};
    // clang-format on
    // The browser-side commands (clipboard, undo) act on the focused, shown view.
    window->show();
    window->activateWindow();
    window->DHTMLEdit1->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const auto run = [&](const QString &key) { window->toolbarAction(key)->trigger(); };
    const auto load = [&] {
        window->DHTMLEdit1->setDocumentHTML(QStringLiteral("<html><body><p id=t>word</p></body></html>"));
        window->DHTMLEdit1->runScript(
            QStringLiteral("window.getSelection().selectAllChildren(document.getElementById('t')); true"));
    };
    for (const auto &[keys, expected] : cases) {
        load();
        for (const QString &key : QString::fromLatin1(keys).split(' '))
            run(key);
        for (QString part : QString::fromLatin1(expected).split('|')) {
            const bool present = !part.startsWith('!');
            EXPECT_EQ(design().toLower().contains(part.remove(0, present ? 0 : 1)), present)
                << keys << " " << design().toStdString();
        }
    }
    QGuiApplication::clipboard()->clear();
    load();
    run(QStringLiteral("copy"));
    EXPECT_TRUE(
        QTest::qWaitFor([] { return QGuiApplication::clipboard()->text() == QLatin1String("word"); }));
    run(QStringLiteral("table"));
    EXPECT_NE(editor::frmDialog_Table::instance(), nullptr);
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier); // shortcuts reach the commands
    EXPECT_EQ(dialogs.fileRequests.size(), 1u);
    delete editor::frmDialog_Table::instance();
}

TEST_F(MainWindow, SaveAsksForAPathOnlyForNewOrPreviewDocuments)
{
    const QString chosen = path(QStringLiteral("chosen.htm"));
    window->DHTMLEdit1->setDocumentHTML(QStringLiteral("<html><body>first</body></html>"));
    dialogs.files = {QString(), chosen};
    window->Toolbar1_ButtonClick(QStringLiteral("save")); // cancelled: nowhere to write
    EXPECT_EQ(dialogs.lastMessage(), QStringLiteral("Please save this file first"));
    EXPECT_EQ(dialogs.fileRequests.back().filter,
              QStringLiteral("Web Page (*.htm)|*.htm|All Files (*.*)|*.*"));
    window->Toolbar1_ButtonClick(QStringLiteral("save"));
    EXPECT_EQ(window->CurrentFile, chosen);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillmark : ") + chosen);
    EXPECT_TRUE(readAll(chosen).contains("first"));
    window->Toolbar1_ButtonClick(QStringLiteral("save")); // straight to the chosen file
    EXPECT_EQ(dialogs.fileRequests.size(), 2u);

    // The preview file, in any letter case, asks again; with the preview in front
    // the chosen file receives the document the views share.
    window->CurrentFile = path(QStringLiteral("~TEMP.HTM"));
    selectTab(2);
    const QString second = path(QStringLiteral("second.htm"));
    dialogs.files = {second};
    window->Toolbar1_ButtonClick(QStringLiteral("save"));
    EXPECT_EQ(dialogs.fileRequests.size(), 3u);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillmark : ") + second);
    EXPECT_TRUE(readAll(second).contains("first"));
}

TEST_F(MainWindow, PreviewUploadAndTheWizardCommands)
{
    window->Toolbar1_ButtonClick(QStringLiteral("preview"));
    EXPECT_EQ(dialogs.lastMessage(), QStringLiteral("Please save this file first."));
    window->CurrentFile = path(QStringLiteral("page.htm"));
    writeAll(window->CurrentFile, "<html></html>");
    window->Toolbar1_ButtonClick(QStringLiteral("preview"));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl::fromLocalFile(window->CurrentFile));
    for (const char *key : {"help", "promote", "more", "brand"})
        window->Toolbar1_ButtonClick(QString::fromLatin1(key));
    ASSERT_EQ(opened.size(), 5);
    EXPECT_EQ(opened.last().fileName() + "#" + opened.last().fragment(), QStringLiteral("index.php#brand"));

    // Upload fills the dialog from the page's dependency list and shows it modally.
    writeAll(window->CurrentFile + ".files", ":: list\r\n" + window->CurrentFile.toLocal8Bit() + "\r\n");
    int rows = -1;
    frmMain::setModalRunner([&](QDialog &dialog) {
        rows = dialog.findChild<QTreeWidget *>(QStringLiteral("lstFiles"))->topLevelItemCount();
        return 0;
    });
    window->Toolbar1_ButtonClick(QStringLiteral("upload"));
    EXPECT_EQ(rows, 1);

    // "new": No leaves everything; Yes clears only the path and the wizard.
    dialogs.answers = {Answer::No, Answer::Yes, Answer::No, Answer::Yes};
    window->Toolbar1_ButtonClick(QStringLiteral("new"));
    EXPECT_FALSE(window->CurrentFile.isEmpty());
    EXPECT_TRUE(peer.calls.isEmpty());
    window->Toolbar1_ButtonClick(QStringLiteral("new"));
    EXPECT_TRUE(window->CurrentFile.isEmpty());
    EXPECT_EQ(peer.calls, (QStringList{"ClearAll", "showFirstStep", "showWizard(modal)"}));
    peer.calls.clear();
    window->Toolbar1_ButtonClick(QStringLiteral("open"));
    window->Toolbar1_ButtonClick(QStringLiteral("open"));
    window->Toolbar1_ButtonClick(QStringLiteral("wizard"));
    EXPECT_EQ(peer.calls, (QStringList{"showLoadFile", "showFirstStep", "showWizard"}));
}

TEST_F(MainWindow, ClosingAsksOnlyAboutUnwrittenEdits)
{
    bool ended = false;
    QObject::connect(window.get(), &frmMain::programEnded, [&] { ended = true; });
    window->CurrentFile = path(QStringLiteral("page.htm"));
    writeAll(window->CurrentFile, "<html><body>kept</body></html>");
    window->DHTMLEdit1->LoadDocument(window->CurrentFile);
    window->DHTMLEdit1->setBgColor(QStringLiteral("00FF00"));

    // Cancel, and Yes with a cancelled Save dialog (the edits would only reach the
    // preview file), both keep the window open.
    dialogs.answers = {Answer::Cancel, Answer::Yes, Answer::Yes};
    dialogs.files = {QString()};
    for (const QString &file : {window->CurrentFile, path(QStringLiteral("~temp.htm"))}) {
        window->CurrentFile = file;
        QCloseEvent refused;
        QCoreApplication::sendEvent(window.get(), &refused);
        EXPECT_FALSE(refused.isAccepted());
    }
    EXPECT_FALSE(ended);
    window->CurrentFile = path(QStringLiteral("page.htm"));
    window->DHTMLEdit1->setBgColor(QStringLiteral("00FF00"));
    QCloseEvent saved;
    QCoreApplication::sendEvent(window.get(), &saved);
    EXPECT_TRUE(saved.isAccepted());
    EXPECT_TRUE(readAll(window->CurrentFile).toLower().contains("00ff00"));
    EXPECT_TRUE(ended);
    EXPECT_TRUE(peer.calls.contains("unloadWizard"));

    // Nothing unwritten: no question.
    const size_t asked = dialogs.messages.size();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(dialogs.messages.size(), asked);
}
