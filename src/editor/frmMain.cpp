#include "editor/frmMain.h"

#include "desktop/OpenURLInNewWindow.h"
#include "desktop/basGetHDDSerial.h"
#include "desktop/frmCheck4Updates.h"
#include "editor/CheckPanel.h"
#include "editor/FindReplaceDialog.h"
#include "editor/MainWindowPeers.h"
#include "editor/StartPanel.h"
#include "editor/frmDialog_Table.h"
#include "editor/logic/Branding.h"
#include "editor/logic/ColorText.h"
#include "editor/logic/Document.h"
#include "editor/logic/FindText.h"
#include "editor/logic/RecentPages.h"
#include "editor/logic/StartPage.h"
#include "editor/logic/TextPosition.h"
#include "editor/modMain.h"
#include "editor/source/HtmlFormat.h"
#include "editor/source/HtmlText.h"
#include "editor/source/SourceText.h"
#include "generation/FileList.h"
#include "generation/Pictures.h"
#include "generation/Variants.h"
#include "platform/AppFolder.h"
#include "platform/Dialogs.h"
#include "platform/widgets/BrowserView.h"
#include "platform/widgets/DesignView.h"
#include "platform/widgets/SourceView.h"
#include "publish/UploadWindow.h"
#include "ui_frmMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <array>
#include <memory>
#include <optional>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

// Resources of a static library are registered by hand, outside any namespace.
static void initEditorResources()
{
    Q_INIT_RESOURCE(editor);
}

namespace editor {

namespace {

frmMain *g_instance = nullptr;
frmMain::ModalRunner g_modalRunner;

const QString kSaveFilter = QStringLiteral("Web Page (*.htm)|*.htm|All Files (*.*)|*.*");
const QString kSaveFirst = QStringLiteral("Please save this file first");

// The formatting commands by key; the buttons themselves are in the form.
struct FormatSpec {
    const char *key;
    int command; // 0: handled otherwise
    bool prompt; // the view asks the user for the value
};

const FormatSpec kFormatButtons[] = {
    {"bold", platform::DECMD_BOLD, false},
    {"italic", platform::DECMD_ITALIC, false},
    {"underline", platform::DECMD_UNDERLINE, false},
    {"left", platform::DECMD_JUSTIFYLEFT, false},
    {"center", platform::DECMD_JUSTIFYCENTER, false},
    {"right", platform::DECMD_JUSTIFYRIGHT, false},
    {"cut", platform::DECMD_CUT, false},
    {"copy", platform::DECMD_COPY, false},
    {"paste", platform::DECMD_PASTE, false},
    {"numbullet", platform::DECMD_ORDERLIST, false},
    {"bullet", platform::DECMD_UNORDERLIST, false},
    {"indentleft", platform::DECMD_OUTDENT, false},
    {"indentright", platform::DECMD_INDENT, false},
    {"font", platform::DECMD_FONT, true},
    {"textcolor", 0, false},
    {"backcolor", 0, false},
    {"link", platform::DECMD_HYPERLINK, true},
    {"image", platform::DECMD_IMAGE, true},
    {"table", 0, false},
    {"undo", platform::DECMD_UNDO, false},
    {"redo", platform::DECMD_REDO, false},
};

// The preview's widths: a phone, a tablet, or the whole tab (0).
struct PreviewWidth {
    const char *caption;
    int pixels;
};
const PreviewWidth kPreviewWidths[] = {{"Full width", 0}, {"Tablet (768 px)", 768}, {"Phone (390 px)", 390}};

// The window's place and last tab, in the user's configuration folder.
QSettings windowSettings()
{
    return QSettings(branding::kProductName, QStringLiteral("editor"));
}

QString recentPagesFile()
{
    return platform::inAppFolder(QStringLiteral("recentpages.txt"));
}

// True for a key press that changes the text of an editable view.
bool isEditingKey(const QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) ||
        event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))
        return true;
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
        return true;
    default:
        break;
    }
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return false;
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

// Largest page the source view takes as one undoable edit on a tab switch.
constexpr qsizetype kUndoableFill = 2 * 1024 * 1024;

// How long the update check may take before the web engine is started beside it.
constexpr int kStartEngineDuringCheckMs = 25;

// Colours a source view just filled with a page: the caret is at the start around
// the colouring, so the view shows the top of the page.
void colourFromStart(platform::SourceView &view)
{
    view.setSelStart(0);
    modMain::ColorizeSource(view);
    view.setSelStart(0);
}

// The design view as the document sees it.
class DesignPage : public PageView {
public:
    explicit DesignPage(platform::DesignView *&view, const QString &path) : m_view(view), m_path(path) {}
    QString pageText() override { return m_view->DocumentHTML(); }
    bool showPage(const QString &text) override
    {
        filling = true;
        const bool shown = m_view->setDocumentHTML(text, m_path);
        filling = false;
        ownLoad();
        return shown;
    }
    bool edited() override { return replaced || m_view->isDirty(); }
    QByteArray fileBytes() override { return m_view->DocumentBytes(); }
    // A page loaded into the view from elsewhere has no form of the document's to
    // measure edits against: it is taken whole.
    QString baselineText() override { return loadedElsewhere ? QString() : m_view->baselineHTML(); }
    void resetEdits() override
    {
        replaced = loadedElsewhere = false;
        m_view->setDirty(false);
    }
    // The window loaded the view itself and tells the document so: its own baseline.
    void ownLoad() { replaced = loadedElsewhere = false; }
    // A document put into the view from elsewhere is an edit too.
    bool replaced = false;
    bool loadedElsewhere = false;
    bool filling = false;

private:
    platform::DesignView *&m_view;
    const QString &m_path; // relative addresses resolve beside the page's file
};

// The source view as the document sees it: edits are what differs from the text
// last shown or saved (colouring changes formats, not text). A page opened from its
// file waits beside the view until the view is first needed: filling and colouring
// a big page costs more than the rest of opening it.
class SourcePage : public PageView {
public:
    explicit SourcePage(platform::SourceView *&view, bool &filling) : m_view(view), m_filling(filling) {}
    QString pageText() override { return m_pending ? baseline : m_view->Text(); }
    bool showPage(const QString &text) override
    {
        // The file goes in first, so that undo in the source view can go back to it.
        fillPending();
        fill([&] {
            // A page of modest size comes in as one edit that Ctrl+Z in the source view
            // takes back, so a change made in the design view can be undone here too.
            // Bigger pages, and lines that are shown in pieces, are filled without undo.
            if (m_view->document()->isUndoRedoEnabled() && text.size() < kUndoableFill &&
                !textmodel::SplitSourceText(text, textmodel::Join::WholeLinesAsTheyAre).pieces) {
                QTextCursor all(m_view->document());
                all.select(QTextCursor::Document);
                all.insertText(text);
            } else {
                m_view->setText(text);
            }
        });
        resetEdits();
        return true;
    }
    bool edited() override { return !m_pending && m_view->Text() != baseline; }
    QByteArray fileBytes() override
    {
        return m_pending ? textmodel::EncodeHtmlText(m_pending->text, m_pending->oneBytePerCharacter)
                         : m_view->fileBytes();
    }
    void resetEdits() override
    {
        if (!m_pending)
            baseline = m_view->Text();
    }

    // Reads the page at `path` to be shown later; the view is emptied meanwhile.
    bool load(const QString &path)
    {
        std::optional<textmodel::DecodedText> decoded = platform::SourceView::ReadFile(path);
        if (!decoded)
            return false;
        show(QString());
        baseline = textmodel::PlainLineEnds(decoded->text);
        m_pending = std::move(decoded);
        return true;
    }
    // Shows `text` at once, in place of any page waiting to be shown.
    void show(const QString &text)
    {
        m_pending.reset();
        fill([&] { m_view->setText(text); });
        resetEdits();
    }
    // Puts a page read by load() into the view.
    void fillPending()
    {
        if (!m_pending)
            return;
        const textmodel::DecodedText decoded = std::move(*m_pending);
        m_pending.reset();
        fill([&] { m_view->setDecodedText(decoded); });
    }
    QString baseline;

private:
    // Fills the view and colours it: filling is no edit.
    template <class Fill> void fill(Fill fillView)
    {
        const bool wasFilling = m_filling;
        m_filling = true;
        fillView();
        colourFromStart(*m_view);
        m_filling = wasFilling;
    }

    platform::SourceView *&m_view;
    bool &m_filling;
    std::optional<textmodel::DecodedText> m_pending;
};

} // namespace

class frmMain::Private {
public:
    Ui::frmMain ui;
    // Declared first: the document's views refer to them.
    platform::DesignView *DHTMLEdit1 = nullptr;
    platform::SourceView *rtbHTMLSource = nullptr;
    bool switching = false;
    QString CurrentFile;
    DesignPage designPage{DHTMLEdit1, CurrentFile};
    SourcePage sourcePage{rtbHTMLSource, switching};
    Document doc{designPage, sourcePage};
    qint16 CurrentTab = 0;
    platform::BrowserView *WebBrowser1 = nullptr; // made when first needed
    // What the preview still has to load when its tab is next shown: a renderer
    // of its own costs as much memory and time as the design view's.
    enum class PreviewDue { Nothing, File, Text } previewDue = PreviewDue::Nothing;
    QProgressBar *openProgress = nullptr; // over the design view while a page opens
    QTabWidget *SSTabEditor = nullptr;
    QToolBar *Toolbar1 = nullptr;
    QToolBar *tBarStd = nullptr;
    QLabel *lblAppName[2] = {nullptr, nullptr};
    QLabel *lblURLMessage = nullptr;
    QWidget *Picture1 = nullptr;

    WizardPeer *peer = nullptr;
    int previousTab = 0;
    bool shown = false;
    QHash<QString, QAction *> actions;
    QWidget *pages[3] = {nullptr, nullptr, nullptr};
    FindReplaceDialog *find = nullptr; // created when first asked for
    QMenu *recentMenu = nullptr;
    StartPanel *startPanel = nullptr; // over the start page until work begins
    QComboBox *cmbPreviewWidth = nullptr;
    QComboBox *cmbPreviewVersion = nullptr; // shown for pages that carry a version B
    QString caption;                        // the window's caption, without the unsaved-changes mark
    bool modified = false;                  // edits since the document was opened, written or emptied

    // The findings of the "check" command, below the views while shown; the
    // editing area gives up `checkReserve` pixels of height for it.
    CheckPanel *checkPanel = nullptr;
    int checkReserve = 0;
    QTimer recheck; // a moment after the last edit or save, the shown findings are renewed
    void reserveForCheckPanel(frmMain *w, int height)
    {
        checkReserve = height;
        if (height > 0)
            checkPanel->setFixedHeight(height);
        checkPanel->setVisible(height > 0);
        // A hidden panel only asks for a new layout later: the views take its room now.
        w->centralWidget()->layout()->activate();
    }
};

frmMain::frmMain(QWidget *parent) : QMainWindow(parent), d(new Private)
{
    initEditorResources();
    g_instance = this;
    d->ui.setupUi(this);
    // "new" cannot name a member of the form's class.
    d->ui.newPage->setObjectName(QStringLiteral("new"));
    setCaption(branding::kProductName);

    d->DHTMLEdit1 = d->ui.DHTMLEdit1;
    d->rtbHTMLSource = d->ui.rtbHTMLSource;
    d->SSTabEditor = d->ui.SSTabEditor;
    d->Toolbar1 = d->ui.Toolbar1;
    d->tBarStd = d->ui.tBarStd;
    // The banner shows the caption twice: lblAppName_1, below, is the title's soft shadow.
    d->lblAppName[0] = d->ui.lblAppName_0;
    d->lblAppName[1] = d->ui.lblAppName_1;
    d->lblURLMessage = d->ui.lblURLMessage;
    d->Picture1 = d->ui.Picture1;
    d->pages[0] = d->ui.SSTabEditorPage0;
    d->pages[1] = d->ui.SSTabEditorPage1;
    d->pages[2] = d->ui.SSTabEditorPage2;
    d->startPanel = d->ui.StartPanel;
    d->checkPanel = d->ui.CheckPanel;
    d->cmbPreviewWidth = d->ui.cmbPreviewWidth;
    d->cmbPreviewVersion = d->ui.cmbPreviewVersion;
    d->ui.picLabel->setAttribute(Qt::WA_StyledBackground);
    d->pages[2]->setAttribute(Qt::WA_StyledBackground);
    d->lblURLMessage->installEventFilter(this);
    // The preview is placed by hand on its tab, at a device's width and centred; the
    // start panel likewise follows the design view's size (both in eventFilter).
    d->pages[2]->installEventFilter(this);
    d->rtbHTMLSource->installEventFilter(this);

    // Each command is known by its button's key.
    for (QAction *action : d->Toolbar1->actions())
        if (!action->isSeparator())
            connect(action, &QAction::triggered, this,
                    [this, key = action->objectName()] { Toolbar1_ButtonClick(key); });
    for (QAction *action : d->tBarStd->actions())
        if (!action->isSeparator())
            connect(action, &QAction::triggered, this,
                    [this, key = action->objectName()] { tBarStd_ButtonClick(key); });
    for (QAction *action : d->Toolbar1->actions() + d->tBarStd->actions() + actions())
        if (!action->isSeparator())
            d->actions.insert(action->objectName(), action);
    connect(d->ui.find, &QAction::triggered, this, [this] { showFind(false); });
    connect(d->ui.replace, &QAction::triggered, this, [this] { showFind(true); });
    connect(d->ui.findnext, &QAction::triggered, this, [this] { findNext(false); });
    connect(d->ui.findprevious, &QAction::triggered, this, [this] { findNext(true); });
    connect(d->ui.format, &QAction::triggered, this, [this] { formatSource(); });

    // "Open Recent": the Open button's menu.
    d->recentMenu = new QMenu(QStringLiteral("Open Recent"), this);
    d->recentMenu->setObjectName(QStringLiteral("mnuOpenRecent"));
    d->ui.open->setMenu(d->recentMenu);
    if (auto *button = qobject_cast<QToolButton *>(d->Toolbar1->widgetForAction(d->ui.open)))
        button->setPopupMode(QToolButton::MenuButtonPopup);
    connect(d->recentMenu, &QMenu::aboutToShow, this, &frmMain::fillRecentMenu);

    modMain::InstallColorizeHook(*d->rtbHTMLSource);
    // The source view's menu: the usual edit commands, then Format.
    connect(d->rtbHTMLSource, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        std::unique_ptr<QMenu> menu(d->rtbHTMLSource->createStandardContextMenu(at));
        menu->addSeparator();
        menu->addAction(d->actions.value(QStringLiteral("format")));
        menu->exec(d->rtbHTMLSource->viewport()->mapToGlobal(at));
    });
    // Spelling in the language of the desktop when its dictionary is installed,
    // else English, else the first one there is.
    const QStringList languages = platform::DesignView::spellingLanguages();
    const QString desktop = QLocale::system().name().replace(QLatin1Char('_'), QLatin1Char('-'));
    if (languages.contains(desktop))
        d->DHTMLEdit1->setSpellingLanguage(desktop);
    else if (!languages.isEmpty())
        d->DHTMLEdit1->setSpellingLanguage(
            languages.contains(QStringLiteral("en-US")) ? QStringLiteral("en-US") : languages.first());

    d->checkPanel->hide();
    d->recheck.setSingleShot(true);
    d->recheck.setInterval(700);
    connect(&d->recheck, &QTimer::timeout, this, [this] {
        if (d->checkPanel->isVisible() && !d->CurrentFile.isEmpty())
            d->checkPanel->showReport(check::CheckPage(d->CurrentFile));
    });
    connect(d->checkPanel, &CheckPanel::closeRequested, this, [this] { d->reserveForCheckPanel(this, 0); });
    connect(d->checkPanel, &CheckPanel::findingActivated, this, [this](const check::Finding &finding) {
        if (QFileInfo(finding.file) != QFileInfo(d->CurrentFile))
            return; // a style sheet's finding: the source view shows the page only
        d->SSTabEditor->setCurrentIndex(1);
        const QString text = d->rtbHTMLSource->Text();
        const int at = TextPosition(text, finding.line, finding.column);
        d->rtbHTMLSource->setSelStart(at);
        d->rtbHTMLSource->setSelLength(TokenLength(text, at));
        d->rtbHTMLSource->SetFocus();
    });

    // The preview at a device's width, centred on its tab.
    for (const PreviewWidth &w : kPreviewWidths)
        d->cmbPreviewWidth->addItem(QString::fromLatin1(w.caption), w.pixels);
    auto *corner = new QWidget(d->SSTabEditor);
    auto *cornerLayout = new QHBoxLayout(corner);
    cornerLayout->setContentsMargins(0, 0, 0, 0);
    cornerLayout->addWidget(d->cmbPreviewVersion);
    cornerLayout->addWidget(d->cmbPreviewWidth);
    d->SSTabEditor->setCornerWidget(corner, Qt::TopRightCorner);
    d->cmbPreviewWidth->setVisible(false);
    d->cmbPreviewVersion->setVisible(false);

    d->startPanel->hide();
    connect(d->startPanel, &StartPanel::createPageRequested, this,
            [this] { Toolbar1_ButtonClick("wizard"); });
    // Nothing is lost on the start page: no question before opening.
    connect(d->startPanel, &StartPanel::openPageRequested, this, [this] {
        if (d->peer)
            d->peer->showLoadFile();
    });
    connect(d->startPanel, &StartPanel::recentPageRequested, this, [this](const QString &path) {
        if (QFileInfo(path).isFile())
            openPage(path);
        else
            openRecent(path); // explains and forgets it
    });
    connect(d->cmbPreviewWidth, &QComboBox::currentIndexChanged, this, [this] { placePreview(); });
    connect(d->cmbPreviewVersion, &QComboBox::currentIndexChanged, this, [this] { previewChanged(false); });
    // Edits mark the title; the design view's keys and clicks arrive at its inner
    // widgets, which the filter follows as they come.
    watchDesignInput(d->DHTMLEdit1);
    // A picture from disk goes in as generated pages' pictures do: sized and in WebP.
    d->DHTMLEdit1->setPictureInserter([this](const QString &address) -> std::optional<QString> {
        const generation::InsertedPicture picture =
            generation::PrepareInsertedPicture(address, d->CurrentFile);
        if (!picture.problem.isEmpty()) {
            platform::msgBox(picture.problem, this);
            return QString();
        }
        if (picture.markup.isEmpty())
            return std::nullopt;
        return picture.markup;
    });
    connect(d->DHTMLEdit1, &platform::DesignView::documentChanged, this, [this] {
        if (!d->designPage.filling)
            d->designPage.replaced = true;
        setModified(true);
    });
    connect(d->DHTMLEdit1, &platform::DesignView::documentLoaded, this, [this] {
        if (!d->designPage.filling)
            d->designPage.loadedElsewhere = true;
    });
    connect(d->rtbHTMLSource, &QPlainTextEdit::textChanged, this, [this] {
        if (!d->switching)
            setModified(true);
    });

    connect(d->SSTabEditor, &QTabWidget::currentChanged, this, [this](int) {
        const int previous = d->previousTab;
        d->previousTab = d->SSTabEditor->currentIndex();
        SSTabEditor_Click(previous);
    });

    desktop::frmCheck4Updates::setMainWindowShower([] {
        if (g_instance)
            g_instance->show();
    });
}

frmMain::~frmMain()
{
    if (g_instance == this) {
        g_instance = nullptr;
        desktop::frmCheck4Updates::setMainWindowShower({});
    }
    delete d;
}

frmMain *frmMain::instance()
{
    return g_instance;
}

void frmMain::setWizardPeer(WizardPeer *peer)
{
    d->peer = peer;
}

WizardPeer *frmMain::wizardPeer() const
{
    return d->peer;
}

QAction *frmMain::toolbarAction(const QString &key) const
{
    return d->actions.value(key, nullptr);
}

QString frmMain::GetStartHTML()
{
    return startPageHtml();
}

bool frmMain::Form_Load(const QString &page)
{
    const QString caption = branding::kProductName + QStringLiteral(" from ") + branding::kMakerName;
    setCaption(caption);
    desktop::g_sMachineID = desktop::GetHDDSerial();
    desktop::frmCheck4Updates::load(this);
    d->lblAppName[0]->setText(caption);
    d->lblAppName[1]->setText(caption);
    d->lblURLMessage->setCursor(
        QCursor(QIcon(QStringLiteral(":/editor/icons/linkcursor.svg")).pixmap(QSize(24, 24)), 6, 1));
    d->lblURLMessage->setText(branding::kUrlMessage);
    d->actions.value(QStringLiteral("promote"))->setToolTip(branding::kPromoteTooltip);
    d->actions.value(QStringLiteral("more"))->setToolTip(branding::kMoreTooltip);
    // The place the window had when it last closed; maximised the first time.
    QSettings settings = windowSettings();
    if (!settings.contains(QStringLiteral("window/geometry")) ||
        !restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray()))
        setWindowState(windowState() | Qt::WindowMaximized);

    // A page to open goes to the web engine before this window shows: starting the
    // engine and reading the page then overlap with the update check and the showing.
    if (!page.isEmpty())
        d->DHTMLEdit1->startLoadDocument(page);
    // A check that takes a while leaves time to start the web engine meanwhile, by
    // making the design view's page; after a quick one this window shows first.
    QTimer startEngine;
    startEngine.setSingleShot(true);
    connect(&startEngine, &QTimer::timeout, this, [this] { d->DHTMLEdit1->page(); });
    startEngine.start(kStartEngineDuringCheckMs);
    // Wait for the update check without spinning: each round sleeps until an event
    // arrives; the outcome is acted on whenever it came. The wait also ends when
    // the update window is gone (it has shown this window then).
    for (;;) {
        QPointer<desktop::frmCheck4Updates> check = desktop::frmCheck4Updates::instance();
        if (!check)
            break;
        if (check->CheckDone) {
            if (check->UpdateFound) {
                check->show();
            } else {
                show();
                check->unload();
            }
            break;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    startEngine.stop();

    // A page to open replaces the start page: one load of the design view, not two.
    if (!page.isEmpty()) {
        const bool opened = openPage(page);
        restoreLastTab();
        return opened;
    }
    // The views fill in behind the shown window. The preview is not made for the
    // company page: every way to the preview tab sends it to the document first.
    const QString start = GetStartHTML();
    d->DHTMLEdit1->setDocumentHTML(start);
    d->sourcePage.show(start);
    d->designPage.ownLoad(); // just loaded: its own baseline
    d->doc.opened(QString(), start);
    d->previewDue = Private::PreviewDue::Text;
    setModified(false);
    restoreLastTab();
    showStartPanel();
    return true;
}

void frmMain::restoreLastTab()
{
    const int lastTab = windowSettings().value(QStringLiteral("window/tab"), 0).toInt();
    if (lastTab > 0 && lastTab < d->SSTabEditor->count())
        switchTab(lastTab);
}

void frmMain::showStartPanel()
{
    d->startPanel->setRecentPages(LoadRecentPages(recentPagesFile()));
    d->startPanel->show();
    d->startPanel->raise();
    placeStartPanel();
}

void frmMain::hideStartPanel()
{
    d->startPanel->hide();
}

void frmMain::placeStartPanel()
{
    const QRect area = d->DHTMLEdit1->geometry();
    const QSize size(qMin(420, area.width() - 40),
                     qMin(qMax(d->startPanel->sizeHint().height(), d->startPanel->hasRecentPages() ? 340 : 0),
                          area.height() - 40));
    d->startPanel->setGeometry(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size));
}

bool frmMain::loadDesign(const QString &path)
{
    // A big page keeps WebEngine busy for many seconds. Meanwhile the window stays
    // live and shows how far the load got; the commands that would reach the views
    // wait for it.
    if (!d->openProgress) {
        d->openProgress = new QProgressBar(d->pages[0]);
        d->openProgress->setObjectName(QStringLiteral("prgOpenPage"));
        d->openProgress->setRange(0, 100);
        d->openProgress->setFormat(QStringLiteral("Opening the page... %p%"));
    }
    QProgressBar *progress = d->openProgress;
    const QRect area = d->DHTMLEdit1->geometry();
    progress->setGeometry(area.left() + area.width() / 4, area.center().y() - 12, area.width() / 2, 24);
    progress->setValue(0);
    progress->show();
    progress->raise();
    const auto tracking =
        connect(d->DHTMLEdit1, &QWebEngineView::loadProgress, progress, &QProgressBar::setValue);
    QWidget *const held[] = {d->Toolbar1, d->tBarStd, d->SSTabEditor->tabBar()};
    bool enabled[3];
    for (int i = 0; i < 3; ++i) {
        enabled[i] = held[i]->isEnabled();
        held[i]->setEnabled(false);
    }
    QPointer<frmMain> alive(this);
    const bool loaded = d->DHTMLEdit1->LoadDocument(path);
    if (!alive)
        return false;
    for (int i = 0; i < 3; ++i)
        held[i]->setEnabled(enabled[i]);
    disconnect(tracking);
    progress->hide();
    return loaded;
}

void frmMain::previewChanged(bool fromFile)
{
    d->previewDue = fromFile ? Private::PreviewDue::File : Private::PreviewDue::Text;
    if (d->CurrentTab == 2)
        loadPreviewIfDue();
}

void frmMain::loadPreviewIfDue()
{
    const auto due = d->previewDue;
    d->previewDue = Private::PreviewDue::Nothing;
    if (due == Private::PreviewDue::Nothing)
        return;
    // Stopped before it is sent anywhere else.
    if (d->WebBrowser1)
        d->WebBrowser1->Stop();
    // A page with two versions is shown as the chosen version's visitor sees it, so
    // the preview never depends on the version its script drew.
    const bool twoVersions = generation::CarriesVariantB(d->doc.text());
    d->cmbPreviewVersion->setVisible(twoVersions && d->CurrentTab == 2);
    if (twoVersions)
        preview()->showHtml(
            generation::ShowVariant(d->doc.text(), d->cmbPreviewVersion->currentIndex() == 1 ? 'b' : 'a'),
            d->CurrentFile);
    else if (due == Private::PreviewDue::File)
        preview()->showFile(d->CurrentFile);
    else
        preview()->showHtml(d->doc.text(), d->CurrentFile);
}

bool frmMain::openPage(const QString &path)
{
    hideStartPanel();
    // The views read the file one after the other, and the source's caret is at 0
    // around the colouring. The preview reads it when its tab is shown.
    d->CurrentFile = path;
    QPointer<frmMain> alive(this);
    const bool designLoaded = loadDesign(path);
    if (!alive)
        return false; // closed while the page was loading
    const bool sourceLoaded = d->sourcePage.load(path);
    if (d->CurrentTab == 1)
        d->sourcePage.fillPending();
    d->designPage.ownLoad();                                    // just loaded: its own baseline
    d->doc.opened(path, d->sourcePage.baseline, d->CurrentTab); // shared, not a copy of a big page
#if defined(__GLIBC__)
    // The file's bytes and the text on its way into the views were freed, but the
    // allocator keeps such pages for later; an open page is the moment to give back.
    malloc_trim(0);
#endif
    previewChanged(true);
    setModified(false);
    setCaption(branding::kProductName + QStringLiteral(" : ") + path);
    if (!designLoaded || !sourceLoaded) {
        platform::msgBox(QStringLiteral("Unable to open ") + path + QStringLiteral(" in the editor."), this);
        return false;
    }
    if (!d->doc.needsPath(platform::previewPage()))
        rememberPage(path);
    return true;
}

void frmMain::blankDocument()
{
    hideStartPanel();
    // Bringing the design tab to the front here must not run the tab switch: it
    // would name the preview file as the path and reload the views from it.
    d->switching = true;
    d->SSTabEditor->setCurrentIndex(0);
    d->switching = false;
    d->CurrentTab = 0;
    d->tBarStd->setEnabled(true);
    d->CurrentFile.clear();
    d->DHTMLEdit1->setDocumentHTML(kBlankDocumentHtml);
    d->sourcePage.show(QString());
    d->designPage.ownLoad(); // just loaded: its own baseline
    d->doc.opened(QString(), QString());
    previewChanged(false);
    setModified(false);
}

void frmMain::switchTab(int index)
{
    d->SSTabEditor->setCurrentIndex(index);
}

bool frmMain::save()
{
    const bool written = saveDocument();
    if (written) {
        setModified(false);
        // The preview file is the program's scratch page, not one to open again.
        if (!d->doc.needsPath(platform::previewPage()))
            rememberPage(d->CurrentFile);
    }
    return written;
}

bool frmMain::insertHTML(const QString &html)
{
    return d->DHTMLEdit1->pasteHTML(html);
}

QString frmMain::currentFile() const
{
    return d->CurrentFile;
}

int frmMain::currentTab() const
{
    return d->CurrentTab;
}

bool frmMain::mayClearWork()
{
    // Asked only when there is work that Save has not written.
    return !hasUnsavedChanges() ||
           platform::dialogs().message(
               QStringLiteral("This will clear all your work. Are you sure you want to continue?"),
               platform::kAppTitle, platform::Buttons::YesNo, platform::Icon::Information,
               this) != platform::Answer::No;
}

void frmMain::Toolbar1_ButtonClick(const QString &key)
{
    if (key == QLatin1String("new")) {
        if (!mayClearWork())
            return;
        d->CurrentFile.clear();
        if (d->peer) {
            d->peer->ClearAll();
            d->peer->showFirstStep();
            d->peer->showWizard(true);
        }
    } else if (key == QLatin1String("open")) {
        if (!mayClearWork())
            return;
        if (d->peer)
            d->peer->showLoadFile();
    } else if (key == QLatin1String("wizard")) {
        if (d->peer) {
            d->peer->showFirstStep();
            d->peer->showWizard(false);
        }
    } else if (key == QLatin1String("save")) {
        save();
    } else if (key == QLatin1String("preview")) {
        if (d->CurrentFile.isEmpty()) {
            platform::msgBox(QStringLiteral("Please save this file first."), this);
            return;
        }
        desktop::ShellOpen(d->CurrentFile);
    } else if (key == QLatin1String("upload")) {
        QString problem;
        const std::unique_ptr<QDialog> upload =
            publish::LoadUploadWindow(this, generation::FileList::PathFor(d->CurrentFile), problem);
        if (!upload) {
            platform::msgBox(QStringLiteral("The upload window cannot be opened: %1.").arg(problem), this);
            return;
        }
        runModal(*upload);
        const QString address = publish::PublishedAddress(*upload);
        if (d->peer && !address.isEmpty())
            d->peer->offerPageAddress(address);
    } else if (key == QLatin1String("check")) {
        // The check reads the page as saved: only Save writes the user's file.
        if (d->CurrentFile.isEmpty()) {
            platform::msgBox(QStringLiteral("Please save this file first."), this);
            return;
        }
        d->checkPanel->showReport(check::CheckPage(d->CurrentFile));
        d->reserveForCheckPanel(this, qBound(80, (d->Picture1->height() + d->checkReserve) / 3, 180));
    } else if (key == QLatin1String("update")) {
        if (auto *check = desktop::frmCheck4Updates::load(this))
            check->show();
    } else if (key == QLatin1String("help")) {
        desktop::ShellOpen(branding::kSupportPage);
    } else if (key == QLatin1String("promote")) {
        desktop::ShellOpen(branding::kPromotePage);
    } else if (key == QLatin1String("more")) {
        desktop::ShellOpen(branding::kMorePage);
    } else if (key == QLatin1String("brand")) {
        desktop::ShellOpen(branding::kBrandPage);
    }
}

bool frmMain::saveDocument(bool *askedAndCancelled)
{
    d->doc.setPath(d->CurrentFile);
    if (d->doc.needsPath(platform::previewPage())) {
        platform::FileRequest request;
        request.filter = kSaveFilter;
        const QString chosen = platform::dialogs().saveFile(request, this);
        if (askedAndCancelled)
            *askedAndCancelled = chosen.isEmpty();
        if (!chosen.isEmpty()) {
            d->CurrentFile = chosen;
            setCaption(branding::kProductName + QStringLiteral(" : ") + d->CurrentFile);
        }
    }
    return writeDocument();
}

bool frmMain::writeDocument()
{
    d->doc.setPath(d->CurrentFile);
    if (!d->doc.save()) {
        platform::msgBox(kSaveFirst, this);
        return false;
    }
    setModified(false);
    return true;
}

void frmMain::SaveRTFFile()
{
    writeDocument();
}

void frmMain::SaveHTMLFile()
{
    writeDocument();
}

void frmMain::SSTabEditor_Click(int previousTab)
{
    if (d->switching)
        return;
    d->switching = true;
    hideStartPanel();
    // The views wait for WebEngine while processing events: no second switch
    // may start in between.
    d->SSTabEditor->tabBar()->setEnabled(false);

    d->CurrentTab = static_cast<qint16>(d->SSTabEditor->currentIndex());
    d->doc.setPath(d->CurrentFile);
    Q_UNUSED(previousTab); // the document knows the tab it left
    // A page just opened and not changed since is previewed from its file.
    if (d->doc.switchTo(d->CurrentTab) && (d->previewDue != Private::PreviewDue::File || d->doc.modified()))
        d->previewDue = Private::PreviewDue::Text;
    if (d->CurrentTab == 1)
        d->sourcePage.fillPending();
    if (d->CurrentTab == 2)
        loadPreviewIfDue();
    d->tBarStd->setEnabled(d->CurrentTab == 0);
    d->cmbPreviewWidth->setVisible(d->CurrentTab == 2);
    d->cmbPreviewVersion->setVisible(d->CurrentTab == 2 && generation::CarriesVariantB(d->doc.text()));
    if (d->find)
        updateFindDialog();
    setModified(d->doc.modified());

    d->SSTabEditor->tabBar()->setEnabled(true);
    d->switching = false;
}

void frmMain::tBarStd_ButtonClick(const QString &key)
{
    for (const FormatSpec &f : kFormatButtons) {
        if (key != QLatin1String(f.key))
            continue;
        // Clipboard and undo act on the focused page.
        d->DHTMLEdit1->setFocus();
        if (f.command != 0) {
            d->DHTMLEdit1->ExecCommand(f.command, f.prompt ? platform::kPromptUser : 0);
        } else if (key == QLatin1String("textcolor") || key == QLatin1String("backcolor")) {
            // A cancelled colour dialog ends the command with nothing applied.
            const auto color = platform::dialogs().chooseColor(0, this);
            if (!color)
                return;
            const QString text = ColorToHtml(*color);
            if (key == QLatin1String("textcolor"))
                d->DHTMLEdit1->ExecCommand(platform::DECMD_SETFORECOLOR, platform::kPromptUser, text);
            else
                d->DHTMLEdit1->setBgColor(text);
        } else if (key == QLatin1String("table")) {
            frmDialog_Table::showDialog(this);
        }
        refreshCaretState();
        return;
    }
}

void frmMain::setCaption(const QString &caption)
{
    d->caption = caption;
    // The mark is in the title only while there are edits, so the caption reads as
    // it always did otherwise.
    setWindowTitle(d->modified ? caption + QStringLiteral("[*]") : caption);
    setWindowModified(d->modified);
}

void frmMain::setModified(bool modified)
{
    if (d->checkPanel->isVisible())
        d->recheck.start();
    if (d->modified == modified && isWindowModified() == modified)
        return;
    d->modified = modified;
    if (modified)
        hideStartPanel();
    setCaption(d->caption);
}

void frmMain::watchDesignInput(QWidget *widget)
{
    widget->installEventFilter(this);
    for (QWidget *child : widget->findChildren<QWidget *>())
        child->installEventFilter(this);
}

void frmMain::refreshCaretState()
{
    // The answer may come while the window is going away: hold the buttons weakly.
    const std::array<QPointer<QAction>, 3> buttons{d->actions.value(QStringLiteral("bold")),
                                                   d->actions.value(QStringLiteral("italic")),
                                                   d->actions.value(QStringLiteral("underline"))};
    d->DHTMLEdit1->page()->runJavaScript(
        QStringLiteral("[document.queryCommandState('bold'), document.queryCommandState('italic'),"
                       " document.queryCommandState('underline')]"),
        QWebEngineScript::ApplicationWorld, [buttons](const QVariant &result) {
            const QVariantList states = result.toList();
            for (size_t i = 0; i < buttons.size(); ++i)
                if (buttons[i])
                    buttons[i]->setChecked(int(i) < states.size() && states.at(int(i)).toBool());
        });
}

void frmMain::lblURLMessage_Click()
{
    desktop::OpenLink(branding::kCompanyPage, true);
}

bool frmMain::hasUnsavedChanges() const
{
    return d->doc.modified();
}

void frmMain::setModalRunner(ModalRunner runner)
{
    g_modalRunner = std::move(runner);
}

int frmMain::runModal(QDialog &dialog)
{
    return g_modalRunner ? g_modalRunner(dialog) : dialog.exec();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (hasUnsavedChanges()) {
        const auto answer = platform::dialogs().message(
            QStringLiteral("Do you want to save the changes to this page before closing?"),
            platform::kAppTitle, platform::Buttons::YesNoCancel, platform::Icon::Question, this);
        // A cancelled Save dialog keeps the program open: the edits would only have
        // reached the preview file, which is rewritten at will.
        bool cancelled = false;
        if (answer == platform::Answer::Cancel ||
            (answer == platform::Answer::Yes && (!saveDocument(&cancelled) || cancelled))) {
            event->ignore();
            return;
        }
    }
    event->accept();
    QSettings settings = windowSettings();
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/tab"), int(d->CurrentTab));
    if (d->peer)
        d->peer->unloadWizard();
    if (auto *table = frmDialog_Table::instance())
        table->close();
    if (auto *check = desktop::frmCheck4Updates::instance())
        check->hide();
    emit programEnded();
}

platform::BrowserView *frmMain::preview()
{
    if (!d->WebBrowser1) {
        // A renderer of its own: made when a page is first sent to it.
        d->WebBrowser1 = new platform::BrowserView(d->pages[2]);
        d->WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
        placePreview();
        d->WebBrowser1->show();
    }
    return d->WebBrowser1;
}

void frmMain::placePreview()
{
    if (!d->WebBrowser1)
        return;
    const QRect tab = d->pages[2]->rect();
    const int wanted = d->cmbPreviewWidth->currentData().toInt();
    const int w = wanted > 0 ? qMin(wanted, tab.width()) : tab.width();
    d->WebBrowser1->setGeometry((tab.width() - w) / 2, 0, w, tab.height());
}

void frmMain::rememberPage(const QString &path)
{
    SaveRecentPages(recentPagesFile(), WithRecentPage(LoadRecentPages(recentPagesFile()), path));
}

void frmMain::fillRecentMenu()
{
    d->recentMenu->clear();
    const QStringList pages = LoadRecentPages(recentPagesFile());
    for (const QString &page : pages) {
        QAction *action = d->recentMenu->addAction(page);
        connect(action, &QAction::triggered, this, [this, page] { openRecent(page); });
    }
    if (pages.isEmpty())
        d->recentMenu->addAction(QStringLiteral("No recent pages"))->setEnabled(false);
}

bool frmMain::openRecent(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        platform::msgBox(QStringLiteral("The page %1 is no longer there.").arg(path), this);
        QStringList pages = LoadRecentPages(recentPagesFile());
        pages.removeAll(path);
        SaveRecentPages(recentPagesFile(), pages);
        return false;
    }
    return mayClearWork() && openPage(path);
}

void frmMain::updateFindDialog()
{
    // Replacing, whole words and patterns work on the source text only.
    d->find->setReplaceAvailable(d->CurrentTab == 1);
    d->find->setPatternOptionsAvailable(d->CurrentTab == 1);
}

void frmMain::showFind(bool replace)
{
    if (!d->find) {
        d->find = new FindReplaceDialog(this);
        connect(d->find, &FindReplaceDialog::findRequested, this,
                [this](bool backward) { findNext(backward); });
        connect(d->find, &FindReplaceDialog::replaceRequested, this, [this] { replaceOne(); });
        connect(d->find, &FindReplaceDialog::replaceAllRequested, this, [this] { replaceAll(); });
    }
    updateFindDialog();
    if (d->CurrentTab == 1) {
        const QString selected = d->rtbHTMLSource->SelText();
        if (!selected.isEmpty() && !selected.contains(QLatin1Char('\n')))
            d->find->setFindText(selected);
    }
    d->find->showForFind(replace);
}

bool frmMain::findNext(bool backward)
{
    if (!d->find || d->find->findText().isEmpty()) {
        showFind(false);
        return false;
    }
    const QString what = d->find->findText();
    if (d->CurrentTab != 1) {
        // The design view and the preview search their page.
        QWebEngineView *view = d->CurrentTab == 0 ? static_cast<QWebEngineView *>(d->DHTMLEdit1)
                                                  : static_cast<QWebEngineView *>(preview());
        QWebEnginePage::FindFlags flags;
        if (d->find->options().matchCase)
            flags |= QWebEnginePage::FindCaseSensitively;
        if (backward)
            flags |= QWebEnginePage::FindBackward;
        QPointer<FindReplaceDialog> dialog(d->find);
        view->page()->findText(what, flags, [dialog](const QWebEngineFindTextResult &result) {
            if (dialog)
                dialog->setStatus(
                    result.numberOfMatches() == 0
                        ? QStringLiteral("Not found.")
                        : QStringLiteral("%1 of %2").arg(result.activeMatch()).arg(result.numberOfMatches()));
        });
        return true;
    }
    QString error;
    const auto pattern = FindPattern(what, d->find->options(), &error);
    if (!pattern) {
        d->find->setStatus(error);
        return false;
    }
    platform::SourceView &source = *d->rtbHTMLSource;
    const int from = backward ? source.SelStart() : source.SelStart() + source.SelLength();
    const TextMatch match = FindIn(source.Text(), from, *pattern, backward);
    if (!match.found()) {
        d->find->setStatus(QStringLiteral("Not found."));
        return false;
    }
    source.setSelStart(int(match.start));
    source.setSelLength(int(match.length));
    source.ensureCursorVisible();
    d->find->setStatus(QString());
    return true;
}

bool frmMain::replaceOne()
{
    if (!d->find || d->CurrentTab != 1)
        return false;
    const FindOptions options = d->find->options();
    QString error;
    const auto pattern = FindPattern(d->find->findText(), options, &error);
    if (!pattern) {
        d->find->setStatus(error);
        return false;
    }
    // The selection is replaced only when it is a match; then the next one is found.
    platform::SourceView &source = *d->rtbHTMLSource;
    if (source.SelLength() > 0) {
        const QRegularExpressionMatch m =
            pattern->match(source.Text(), source.SelStart(), QRegularExpression::NormalMatch,
                           QRegularExpression::AnchorAtOffsetMatchOption);
        if (m.hasMatch() && m.capturedLength() == source.SelLength())
            source.setSelText(ExpandReplacement(m, d->find->replaceText(), options.regex));
    }
    return findNext(false);
}

bool frmMain::formatSource()
{
    if (d->CurrentTab != 1)
        return false;
    platform::SourceView &source = *d->rtbHTMLSource;
    const QString text = source.Text();
    const QString formatted = textmodel::FormatHtml(text, {2, QStringLiteral("\n")});
    // One edit over the span that changed: one undo step, and the lines around it
    // keep their own line ends.
    qsizetype head = 0, tail = 0;
    const qsizetype shorter = qMin(text.size(), formatted.size());
    while (head < shorter && text[head] == formatted[head])
        ++head;
    if (head == text.size() && head == formatted.size())
        return false;
    while (tail < shorter - head && text[text.size() - 1 - tail] == formatted[formatted.size() - 1 - tail])
        ++tail;
    const QString replacement = formatted.mid(head, formatted.size() - head - tail);
    source.setSelStart(int(head));
    source.setSelLength(int(text.size() - head - tail));
    source.setSelText(replacement);
    const qsizetype tagStart = head > 0 ? text.lastIndexOf(QLatin1Char('<'), head) : 0;
    modMain::ColorizeRange(source, int(qMax<qsizetype>(tagStart, 0)) + 1, int(head + replacement.size()) + 1);
    source.setSelStart(int(head));
    return true;
}

int frmMain::replaceAll()
{
    if (!d->find || d->CurrentTab != 1)
        return 0;
    const FindOptions options = d->find->options();
    QString error;
    const auto pattern = FindPattern(d->find->findText(), options, &error);
    if (!pattern) {
        d->find->setStatus(error);
        return 0;
    }
    // Replacing with nothing deletes every match: asked first.
    if (d->find->replaceText().isEmpty() &&
        platform::dialogs().message(QStringLiteral("Replace every match with nothing (delete them)?"),
                                    platform::kAppTitle, platform::Buttons::YesNo, platform::Icon::Question,
                                    d->find) != platform::Answer::Yes)
        return 0;
    platform::SourceView &source = *d->rtbHTMLSource;
    const QString text = source.Text();
    const std::vector<textmodel::Replacement> places =
        ReplacementsIn(text, *pattern, d->find->replaceText(), options.regex);
    if (places.empty()) {
        d->find->setStatus(QStringLiteral("Not found."));
        return 0;
    }
    // Each match replaced in place, in one edit: one step to undo, and on a big page
    // far less text moved than by swapping the whole span from first to last.
    const qsizetype end = modMain::ReplacePlaces(source, text, places);
    source.setSelStart(int(end));
    const int count = int(places.size());
    d->find->setStatus(QStringLiteral("Replaced %1.").arg(count));
    return count;
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!d->shown) {
        d->shown = true;
        emit firstShown();
    }
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (widget && (widget == d->DHTMLEdit1 || d->DHTMLEdit1->isAncestorOf(widget))) {
        switch (event->type()) {
        case QEvent::ChildAdded:
            if (auto *child = qobject_cast<QWidget *>(static_cast<QChildEvent *>(event)->child()))
                watchDesignInput(child);
            break;
        case QEvent::KeyPress:
            if (isEditingKey(static_cast<QKeyEvent *>(event)))
                setModified(true);
            break;
        case QEvent::KeyRelease:
        case QEvent::MouseButtonRelease:
            refreshCaretState();
            break;
        case QEvent::Resize:
            if (widget == d->DHTMLEdit1)
                placeStartPanel();
            break;
        default:
            break;
        }
        return QMainWindow::eventFilter(watched, event);
    }
    if (watched == d->pages[2] && event->type() == QEvent::Resize)
        placePreview();
    // However the source view comes to be shown, it shows the page.
    if (watched == d->rtbHTMLSource && event->type() == QEvent::Show)
        d->sourcePage.fillPending();
    if (watched == d->lblURLMessage && event->type() == QEvent::MouseButtonRelease) {
        lblURLMessage_Click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace editor
