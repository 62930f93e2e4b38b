// The main window with the real views: start-up against a local update server, the
// tab switch through the file, the formatting commands and the document commands.
#include "EditorWindow.h"
#include "common/PageText.h"
#include "common/TestSupport.h"
#include "desktop/OpenURLInNewWindow.h"
#include "desktop/UpdateCheck.h"
#include "editor/MainWindowPeers.h"
#include "editor/StartPanel.h"
#include "editor/frmDialog_Table.h"
#include "editor/logic/RecentPages.h"
#include "generation/FileList.h"

#include <cstring>
#include <link.h>
#include <memory>

using editor::frmMain;
using platform::Answer;
using testing_support::readAll;
using testing_support::writeAll;

namespace {

// True when a library whose file name contains `name` is loaded in this process.
bool libraryLoaded(const char *name)
{
    struct Search {
        const char *name;
        bool found;
    } search{name, false};
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            auto *s = static_cast<Search *>(data);
            s->found = s->found || std::strstr(info->dlpi_name, s->name);
            return 0;
        },
        &search);
    return search.found;
}

struct FakePeer : editor::WizardPeer {
    QStringList calls;
    void ClearAll() override { calls << "ClearAll"; }
    void showFirstStep() override { calls << "showFirstStep"; }
    void showWizard(bool modal) override { calls << (modal ? "showWizard(modal)" : "showWizard"); }
    void unloadWizard() override { calls << "unloadWizard"; }
    void showLoadFile() override { calls << "showLoadFile"; }
};

class MainWindow : public EditorWindow {
protected:
    void SetUp() override
    {
        platform::setPreviewFolder(dir.path());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        desktop::setUrlOpener([this](const QUrl &url) {
            opened << url;
            return true;
        });
        EditorWindow::SetUp();
        window->setWizardPeer(&peer);
    }
    void TearDown() override
    {
        EditorWindow::TearDown();
        desktop::setUrlOpener({});
        desktop::setUpdateServer(QString());
        frmMain::setModalRunner({});
    }
    // Runs the load handler against a local update server answering as `mode` does
    // ("equal": this version, "newer": a newer one).
    void startAgainst(const char *mode)
    {
        testing_support::ServerProcess server(
            testing_support::systemPython(),
            {testing_support::sourceDir() + "/tests/common/update_server.py"});
        ASSERT_TRUE(server.start()) << server.output().constData();
        desktop::setUpdateServer(QString("http://127.0.0.1:%1/%2/").arg(server.port()).arg(mode));
        window->Form_Load();
    }
    void selectTab(int index) { window->switchTab(index); }
    QToolBar *formatBar() const { return window->findChild<QToolBar *>("tBarStd"); }
    void press(const char *key) { window->Toolbar1_ButtonClick(QString::fromLatin1(key)); }
    QString design() { return designView()->DocumentHTML(); }
    // The source view counts a line end as one character.
    static QString lf(QString text) { return text.replace("\r\n", "\n"); }

    FakePeer peer;
    QList<QUrl> opened;
};

} // namespace

TEST_F(MainWindow, StartUpShowsTheStartPageOnceTheCheckAllowsWhereTheWindowWas)
{
    startAgainst("equal");
    EXPECT_TRUE(window->isVisible() && window->isMaximized()); // maximised the first time
    EXPECT_EQ(desktop::frmCheck4Updates::instance(), nullptr);
    EXPECT_EQ(sourceView()->Text(), lf(frmMain::GetStartHTML()));
    EXPECT_TRUE(design().contains("<title>"));

    // The next start: where the window was, with its last tab; with a newer version,
    // hidden until the update window closes.
    window->showNormal();
    window->setGeometry(100, 120, 640, 480);
    selectTab(1);
    EXPECT_TRUE(window->close());
    window = std::make_unique<frmMain>();
    startAgainst("newer");
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(window->size(), QSize(640, 480));
    EXPECT_EQ(window->currentTab(), 1);
    EXPECT_EQ(sourceView()->Text(), lf(frmMain::GetStartHTML()));
    auto *check = desktop::frmCheck4Updates::instance();
    ASSERT_NE(check, nullptr);
    EXPECT_TRUE(check->UpdateFound && check->isVisible());
    EXPECT_FALSE(window->isVisible());
    check->close();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindow, TheStartPanelLeadsOnAndGoesWhenWorkBegins)
{
    const QString page = path("earlier.htm");
    writeAll(page, "<html><body>earlier</body></html>");
    ASSERT_TRUE(editor::SaveRecentPages(path("recentpages.txt"), {page}));
    desktop::setUpdateServer("http://127.0.0.1:9/"); // refused at once: the window shows
    window->Form_Load();
    auto *panel = window->findChild<QFrame *>("StartPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    // The preview's renderer is made only when a page is first sent to it.
    EXPECT_EQ(previewView(), nullptr);
    auto *design = designView();
    EXPECT_FALSE(design->DocumentHTML().contains("Create a sales page")); // over the page, not in it
    panel->findChild<QPushButton *>("cmdCreatePage")->click();
    panel->findChild<QPushButton *>("cmdOpenPage")->click();
    EXPECT_EQ(peer.calls, (QStringList{"showFirstStep", "showWizard", "showLoadFile"}));
    EXPECT_EQ(dialogs.messages.size(), 0u); // nothing to lose: no question

    auto *recent = panel->findChild<QListWidget *>("lstRecentPages");
    ASSERT_EQ(recent->count(), 1);
    emit recent->itemClicked(recent->item(0));
    EXPECT_EQ(window->currentFile(), page);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(previewView(), nullptr); // nor for a page opened: only its tab loads it

    // Typing on the start page sends it away too.
    window->Form_Load();
    EXPECT_TRUE(panel->isVisible());
    window->activateWindow();
    design->setFocus();
    QTest::keyClick(design->focusProxy(), Qt::Key_A);
    EXPECT_FALSE(panel->isVisible());
}

TEST(StartPanel, RecentPagesShowTheirNamesAndLeadToTheirPaths)
{
    editor::StartPanel panel;
    QSignalSpy asked(&panel, &editor::StartPanel::recentPageRequested);
    auto *list = panel.findChild<QListWidget *>("lstRecentPages");
    auto *title = panel.findChild<QLabel *>("lblRecentPages");
    const QString page = QStringLiteral("/work/shop/offer.v2.htm");
    panel.setRecentPages({page});
    EXPECT_EQ(list->item(0)->text(), "offer.v2.htm");
    EXPECT_FALSE(title->isHidden());
    emit list->itemActivated(list->item(0)); // Enter or a double-click
    emit list->itemClicked(list->item(0));
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[0][0].toString(), page);
    EXPECT_EQ(asked[1][0].toString(), page);
    panel.setRecentPages({});
    EXPECT_TRUE(title->isHidden() && list->isHidden());
}

TEST_F(MainWindow, OpenPageFillsTheThreeViewsAndBlankEmptiesThemWithoutWriting)
{
    const QByteArray html = "<html>\r\n<body><p class=\"x\">Opened</p></body>\r\n</html>\r\n";
    const QString page = openWith("open.htm", html);
    EXPECT_EQ(window->currentFile(), page);
    EXPECT_EQ(window->windowTitle(), "Quillmark : " + page);
    EXPECT_TRUE(design().contains("Opened"));
    EXPECT_TRUE(sourceView()->Text().isEmpty()); // filled when its tab is first shown
    selectTab(1);
    EXPECT_EQ(sourceView()->Text(), lf(QString::fromLocal8Bit(html)));
    EXPECT_EQ(sourceView()->colorAt(0), 0xFF0000u); // "<html>" is a blue tag
    EXPECT_EQ(sourceView()->SelStart(), 0);
    EXPECT_FALSE(window->hasUnsavedChanges());
    EXPECT_EQ(previewView(), nullptr);
    selectTab(2);
    EXPECT_TRUE(testing_support::waitFor([&] { return previewView()->url() == QUrl::fromLocalFile(page); }));
    EXPECT_FALSE(window->hasUnsavedChanges());

    // Emptying from the source tab leaves the file as it was and names no file.
    selectTab(1);
    sourceView()->setText("<html>changed</html>");
    window->blankDocument();
    EXPECT_TRUE(window->currentFile().isEmpty());
    EXPECT_EQ(window->currentTab(), 0);
    EXPECT_EQ(window->findChild<QTabWidget *>("SSTabEditor")->currentIndex(), 0);
    EXPECT_TRUE(formatBar()->isEnabled());
    EXPECT_TRUE(sourceView()->Text().isEmpty());
    EXPECT_FALSE(design().contains("Opened"));
    EXPECT_EQ(readAll(page), html);
    EXPECT_FALSE(QFileInfo::exists(path("~temp.htm")));

    // A page that cannot be read is named in a message.
    EXPECT_FALSE(window->openPage(path("missing.htm")));
    EXPECT_EQ(dialogs.lastMessage(), "Unable to open " + path("missing.htm") + " in the editor.");

    // Opened while the source tab is in front, a page fills it at once.
    selectTab(1);
    openWith("second.htm", "<p>Second</p>\r\n");
    EXPECT_EQ(window->currentTab(), 1);
    EXPECT_EQ(sourceView()->Text(), "<p>Second</p>\n");
}

TEST_F(MainWindow, APageSlowerThanAnyWaitStillOpensWithItsProgressShown)
{
    // No load of a page is done in a millisecond: this one outlasts the view's waits.
    designView()->setWaitTimeout(1);
    const QString page = path("slow.htm");
    writeAll(page, "<html><body><p>Slow</p>" + QByteArray("<p>Buy now and save.</p>\n").repeated(8000) +
                       "</body></html>");
    bool progressShown = false, commandsHeld = false;
    QTimer during; // fires inside the load's wait
    during.setSingleShot(true);
    QObject::connect(&during, &QTimer::timeout, [&] {
        progressShown = !window->findChild<QProgressBar *>("prgOpenPage")->isHidden();
        commandsHeld = !window->findChild<QToolBar *>("Toolbar1")->isEnabled();
    });
    during.start(0);
    EXPECT_TRUE(window->openPage(page));
    designView()->setWaitTimeout(15000);
    EXPECT_TRUE(progressShown);
    EXPECT_TRUE(commandsHeld);
    EXPECT_EQ(dialogs.messages.size(), 0u);
    EXPECT_TRUE(design().contains("Slow"));
    EXPECT_TRUE(window->findChild<QProgressBar *>("prgOpenPage")->isHidden());
    EXPECT_TRUE(window->findChild<QToolBar *>("Toolbar1")->isEnabled());
}

TEST_F(MainWindow, APageWithTwoVersionsPreviewsTheChosenOne)
{
    const auto shows = [&](const QString &words) { return testing_support::showsText(previewView(), words); };
    auto *version = window->findChild<QComboBox *>("cmbPreviewVersion");
    openWith("plain.htm", "<html><body><h1>Only one</h1></body></html>");
    selectTab(2);
    EXPECT_TRUE(shows("Only one"));
    EXPECT_TRUE(version->isHidden());
    openWith("ab.htm",
             "<html><body><template id=\"qm-variant-b\"><span data-ab=\"b\" data-ab-id=\"1\">Headline "
             "B</span></template><h1><span data-ab=\"a\">Headline A</span><script>qmAB(1)</script></h1>"
             "</body></html>");
    selectTab(2);
    EXPECT_FALSE(version->isHidden());
    EXPECT_TRUE(shows("Headline A"));
    version->setCurrentIndex(1);
    EXPECT_TRUE(shows("Headline B"));
}

TEST_F(MainWindow, TabSwitchesMoveThePageInMemoryAndOnlySaveWritesIt)
{
    // A new document names no file and writes none.
    designView()->setDocumentHTML("<html><body><p>Designed</p></body></html>");
    selectTab(1);
    EXPECT_TRUE(window->currentFile().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path("~temp.htm")));
    EXPECT_EQ(window->currentTab(), 1);
    EXPECT_TRUE(sourceView()->Text().contains("Designed"));
    EXPECT_FALSE(formatBar()->isEnabled());
    EXPECT_EQ(previewView(), nullptr);

    // Source to preview refreshes the design view and the preview.
    sourceView()->setText("<html><body><p>Typed</p></body></html>");
    selectTab(2);
    EXPECT_TRUE(design().contains("Typed"));
    EXPECT_TRUE(testing_support::showsText(previewView(), "Typed"));
    selectTab(0);
    EXPECT_TRUE(formatBar()->isEnabled());

    // Design to source to design leaves the user's file as it was, bytes and time.
    const QByteArray handWritten =
        "<HTML>\r\n<BODY BGCOLOR='white'>\r\n  <P  ALIGN=center>Hand   made<BR>\r\n"
        "</BODY>\r\n</HTML>\r\n";
    const QString page = openWith("hand.htm", handWritten);
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                                                    QFileDevice::FileModificationTime));
    file.close();
    const QDateTime stamp = QFileInfo(page).lastModified();
    designView()->setBgColor("FF0000");
    selectTab(1);
    selectTab(0);
    EXPECT_EQ(readAll(page), handWritten);
    EXPECT_EQ(QFileInfo(page).lastModified(), stamp);
    EXPECT_TRUE(sourceView()->Text().toLower().contains("ff0000"));
    EXPECT_TRUE(window->hasUnsavedChanges());

    // A design change comes into the source view as one step to undo, and undone
    // there it leaves the design view too.
    selectTab(1);
    sourceView()->undo();
    EXPECT_EQ(sourceView()->Text(), lf(QString::fromLocal8Bit(handWritten)));
    selectTab(0);
    EXPECT_FALSE(design().toLower().contains("ff0000"));
    sourceView()->redo();
    EXPECT_TRUE(sourceView()->Text().toLower().contains("ff0000"));
    selectTab(1);
    selectTab(0);
    EXPECT_TRUE(design().toLower().contains("ff0000"));

    // The source view's undo survives a trip through an unchanged design view.
    selectTab(1);
    sourceView()->setSelStart(0);
    QTest::keyClicks(sourceView(), "x");
    selectTab(0);
    selectTab(1);
    EXPECT_TRUE(sourceView()->Text().startsWith("x"));
    sourceView()->undo();
    EXPECT_FALSE(sourceView()->Text().startsWith("x"));
    EXPECT_EQ(readAll(page), handWritten);

    // Save writes what the views hold.
    press("save");
    EXPECT_TRUE(readAll(page).toLower().contains("ff0000"));
    EXPECT_FALSE(window->hasUnsavedChanges());

    // An unchanged page is not written again, whichever view is in front.
    const QString untouched = openWith("untouched.htm", handWritten);
    selectTab(1);
    selectTab(0);
    press("save");
    EXPECT_EQ(readAll(untouched), handWritten);

    // Edited after it was opened, a page is previewed with the edit, not from its file.
    selectTab(1);
    sourceView()->setText("<html><body><p>Edited since opened</p></body></html>");
    selectTab(2);
    EXPECT_TRUE(testing_support::showsText(previewView(), "Edited since opened"));
}

TEST_F(MainWindow, EveryFormattingKeyRunsItsCommand)
{
    dialogs.colors = {0x0000FF, 0xFF0000};
    dialogs.texts = {"https://example.com/", "pic.png"};
    dialogs.fonts = {QFont("Serif", 24, QFont::Bold, true)}; // bold and italic, not underlined
    // Keys run in turn on a selected word; the lower-cased document then holds each part
    // ("|" between parts), or lacks it after "!". The last prompt is cancelled.
    // clang-format off
    const std::pair<const char *, const char *> cases[] = {
        {"bold", "<b>word</b>"},   {"italic", "<i>word</i>"},   {"underline", "<u>word</u>"},
        {"center", "center"},      {"right", "right"},          {"right left", "!right"},
        {"numbullet", "<ol><li>"}, {"bullet", "<ul><li>"},      {"indentright", "<blockquote"},
        {"indentright indentleft", "!<blockquote"}, {"textcolor", "<span style=\"color: rgb(255, 0, 0);\">word</span>|!<font"},
        {"link", "<a href=\"https://example.com/\">word</a>"}, {"backcolor", "bgcolor=\"0000ff\""},
        {"image", "<img src=\"pic.png\">"}, {"font", "font-family: serif|font-size: xx-large|<b>|<i>|!<u>|!<font"},
        {"bold undo", "!<b>"},     {"bold undo redo", "<b>word</b>"},
        {"cut", "!word"},          {"cut paste", "word"},       {"link", "!<a "}};
    // clang-format on
    // The browser-side commands (clipboard, undo) act on the focused, shown view.
    window->show();
    window->activateWindow();
    designView()->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const auto run = [&](const QString &key) { window->toolbarAction(key)->trigger(); };
    const auto load = [&] {
        designView()->setDocumentHTML("<html><body><p id=t>word</p></body></html>");
        designView()->runScript(
            "window.getSelection().selectAllChildren(document.getElementById('t')); true");
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
    run("copy");
    EXPECT_TRUE(testing_support::waitFor([] { return QGuiApplication::clipboard()->text() == "word"; }));
    run("table");
    EXPECT_NE(editor::frmDialog_Table::instance(), nullptr);
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier); // shortcuts reach the commands
    EXPECT_EQ(dialogs.fileRequests.size(), 1u);
    delete editor::frmDialog_Table::instance();
}

TEST_F(MainWindow, InsertedPicturesFromDiskAreMadeForThePageOrRefused)
{
    QImage shot(1200, 600, QImage::Format_RGB32);
    shot.fill(Qt::darkCyan);
    ASSERT_TRUE(shot.save(path("shot.jpg"), "JPG"));
    writeAll(path("broken.jpg"), QByteArray("\xFF\xD8\xFF\xE0 not a picture after all", 27));
    const QString page = openWith("page.htm", "<html><body><p>word</p></body></html>");
    writeAll(page + ".files", generation::FileList::Compose(page, {page}));
    dialogs.texts = {"shot.jpg", "broken.jpg"};

    window->toolbarAction("image")->trigger();
    const QString html = design();
    for (const char *part : {"<picture><source type=\"image/webp\" srcset=\"picture-480-",
                             "width=\"800\" height=\"400\"", "loading=\"lazy\""})
        EXPECT_TRUE(html.contains(part)) << part << " " << html.toStdString();
    const QStringList webp = QDir(dir.path()).entryList({"picture-800-*.webp"});
    ASSERT_EQ(webp.size(), 1);
    QStringList listed;
    ASSERT_TRUE(generation::FileList::Read(page + ".files", listed));
    EXPECT_TRUE(listed.contains(path(webp.first())));

    // A picture that cannot be read is explained and leaves the page as it was.
    window->toolbarAction("image")->trigger();
    EXPECT_EQ(design(), html);
    EXPECT_TRUE(dialogs.lastMessage().contains("broken.jpg cannot be read as a picture"))
        << dialogs.lastMessage().toStdString();
}

TEST_F(MainWindow, TheTitleMarksEditsAndTheButtonsShowTheCaretState)
{
    const QString page = openWith("marks.htm", "<html><body><p id=t>plain <b>strong</b></p></body></html>");
    EXPECT_FALSE(window->isWindowModified());
    selectTab(1);
    sourceView()->setSelStart(0);
    QTest::keyClicks(sourceView(), "x");
    EXPECT_TRUE(window->isWindowModified());
    EXPECT_EQ(window->windowTitle(), "Quillmark : " + page + "[*]");
    EXPECT_TRUE(window->save());
    EXPECT_FALSE(window->isWindowModified());

    // Bold, italic and underline follow the caret, also after a command.
    selectTab(0);
    window->show();
    window->activateWindow();
    designView()->setFocus();
    QAction *bold = window->toolbarAction("bold");
    QAction *italic = window->toolbarAction("italic");
    designView()->runScript("var b = document.querySelector('b').firstChild;"
                            " getSelection().collapse(b, 3); true");
    QTest::keyClick(designView()->focusProxy(), Qt::Key_Right);
    EXPECT_TRUE(testing_support::waitFor([&] { return bold->isChecked(); }));
    EXPECT_FALSE(italic->isChecked());
    designView()->runScript("getSelection().selectAllChildren(document.querySelector('b')); true");
    italic->trigger();
    EXPECT_TRUE(testing_support::waitFor([&] { return italic->isChecked(); }));
    EXPECT_TRUE(window->isWindowModified());
    // A change the design view made no command for (typing) counts too, until saved.
    EXPECT_TRUE(window->save());
    EXPECT_FALSE(window->hasUnsavedChanges());
    designView()->runScript("document.querySelector('p').append('!'); true");
    EXPECT_TRUE(window->hasUnsavedChanges());
    EXPECT_TRUE(window->save());
    EXPECT_FALSE(designView()->isDirty());
    EXPECT_EQ(bold->toolTip(), "Bold (Ctrl+B)"); // a tooltip names its keys
}

TEST_F(MainWindow, SaveAsksForAPathOnlyForNewOrPreviewDocuments)
{
    const QString chosen = path("chosen.htm");
    designView()->setDocumentHTML("<html><body>first</body></html>");
    dialogs.files = {QString(), chosen};
    press("save"); // cancelled: nowhere to write
    EXPECT_EQ(dialogs.lastMessage(), "Please save this file first");
    press("save");
    EXPECT_EQ(window->currentFile(), chosen);
    EXPECT_EQ(window->windowTitle(), "Quillmark : " + chosen);
    EXPECT_TRUE(readAll(chosen).contains("first"));
    press("save"); // straight to the chosen file
    EXPECT_EQ(dialogs.fileRequests.size(), 2u);

    // The preview file, in any letter case, asks again; with the preview in front
    // the chosen file receives the document the views share.
    openWith("~TEMP.HTM", readAll(chosen));
    selectTab(2);
    const QString second = path("second.htm");
    dialogs.files = {second};
    press("save");
    EXPECT_EQ(dialogs.fileRequests.size(), 3u);
    EXPECT_EQ(window->windowTitle(), "Quillmark : " + second);
    EXPECT_TRUE(readAll(second).contains("first"));

    // The preview file, written when the Save dialog is cancelled, never joins the recent pages.
    selectTab(0);
    openWith("~temp.htm", "<html><body>scratch</body></html>");
    designView()->setBgColor("00FF00");
    dialogs.files = {QString()};
    EXPECT_TRUE(window->save());
    EXPECT_TRUE(readAll(path("~temp.htm")).toLower().contains("00ff00"));
    EXPECT_EQ(editor::LoadRecentPages(path("recentpages.txt")), (QStringList{second, chosen}));
}

TEST_F(MainWindow, PreviewUploadAndTheWizardCommands)
{
    press("preview");
    EXPECT_EQ(dialogs.lastMessage(), "Please save this file first.");
    openWith("page.htm", "<html></html>");
    press("preview");
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(window->currentFile())});
    for (const char *key : {"help", "promote", "more", "brand"})
        press(key);
    EXPECT_EQ(opened.size(), 5);

    // Upload fills the dialog from the page's dependency list and shows it modally.
    writeAll(window->currentFile() + ".files", ":: list\r\n" + window->currentFile().toLocal8Bit() + "\r\n");
    int rows = -1;
    frmMain::setModalRunner([&](QDialog &dialog) {
        rows = dialog.findChild<QTreeWidget *>("lstFiles")->topLevelItemCount();
        // Its messages come through the window's dialogs.
        dialog.findChild<QLineEdit *>("txtServerPort")->setText("x");
        dialog.findChild<QPushButton *>("cmdTestConnection")->click();
        return 0;
    });
    // The window runs without publishing's libraries (qtkeychain, libcurl: the picture
    // module may have brought that one): the upload window's module brings them.
    EXPECT_FALSE(libraryLoaded("libqt6keychain.so"));
    press("upload");
    EXPECT_EQ(rows, 1);
    EXPECT_TRUE(libraryLoaded("quillmark-publish-ui.so") && libraryLoaded("libqt6keychain.so"));
    EXPECT_TRUE(dialogs.lastMessage().startsWith("Please enter a server port number"))
        << dialogs.lastMessage().toStdString();

    // Nothing unsaved: "open" asks nothing.
    press("open");
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(peer.calls, QStringList{"showLoadFile"});
    peer.calls.clear();

    // "new" with edits: No leaves everything; Yes clears only the path and the wizard.
    designView()->setBgColor("00FF00");
    dialogs.answers = {Answer::No, Answer::Yes, Answer::No, Answer::Yes};
    press("new");
    EXPECT_FALSE(window->currentFile().isEmpty());
    EXPECT_TRUE(peer.calls.isEmpty());
    press("new");
    EXPECT_TRUE(window->currentFile().isEmpty());
    EXPECT_EQ(peer.calls, (QStringList{"ClearAll", "showFirstStep", "showWizard(modal)"}));
    peer.calls.clear();
    press("open");
    press("open");
    press("wizard");
    EXPECT_EQ(peer.calls, (QStringList{"showLoadFile", "showFirstStep", "showWizard"}));
}

TEST_F(MainWindow, ClosingAsksOnlyAboutUnwrittenEdits)
{
    bool ended = false;
    QObject::connect(window.get(), &frmMain::programEnded, [&] { ended = true; });
    openWith("page.htm", "<html><body>kept</body></html>");
    designView()->setBgColor("00FF00");

    // Cancel, and Yes with a cancelled Save dialog (the edits would only reach the
    // preview file), both keep the window open.
    dialogs.answers = {Answer::Cancel, Answer::Yes, Answer::Yes};
    dialogs.files = {QString()};
    EXPECT_FALSE(window->close());
    window->blankDocument();
    designView()->setBgColor("00FF00");
    EXPECT_FALSE(window->close());
    EXPECT_FALSE(ended);
    openWith("page.htm", "<html><body>kept</body></html>");
    designView()->setBgColor("00FF00");
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(readAll(window->currentFile()).toLower().contains("00ff00"));
    EXPECT_TRUE(ended);
    EXPECT_TRUE(peer.calls.contains("unloadWizard"));

    // Nothing unwritten: no question.
    const size_t asked = dialogs.messages.size();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(dialogs.messages.size(), asked);
}
