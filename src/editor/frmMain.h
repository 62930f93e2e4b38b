#pragma once
// The main window: the HTML editor that finishes a sales page. It holds one
// document in three views (design, coloured source, preview) that exchange their
// content in memory whenever the tab in front changes; only Save writes the file.

#include <QMainWindow>
#include <QString>
#include <functional>

class QDialog;
class QAction;

namespace platform {
class BrowserView;
}

namespace editor {

class WizardPeer;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // The program-wide instance (nullptr before it is created or after it is gone).
    static frmMain *instance();

    // The open page. Every window that puts a page into the editor or changes the
    // document goes through these operations; the views, the tabs and the path are
    // this window's own.

    // Opens the page at `path` in all three views: the path, the design view, the
    // preview (stopped, then pointed at the file), the source view (coloured, caret
    // at 0), the caption. False, with a message, when a view cannot load the file.
    bool openPage(const QString &path);
    // Empties the editor: no path, the blank document in the design view, an empty
    // source view, the design tab in front (nothing is written or reloaded).
    void blankDocument();
    // Brings tab `index` to the front: the edits of the view left reach the others
    // through memory; no file is written.
    void switchTab(int index);
    // The "save" command; true when the document was written.
    bool save();
    // Pastes `html` at the design view's selection; true when the document took it.
    bool insertHTML(const QString &html);

    // Full path of the document; empty when it was never saved or opened.
    QString currentFile() const;
    // Index of the tab in front: 0 design, 1 source, 2 preview.
    int currentTab() const;

    // Write the document to CurrentFile (as Save does, without asking for a path);
    // "Please save this file first" when there is no path or the write fails.
    void SaveRTFFile();
    void SaveHTMLFile();
    static QString GetStartHTML();

    // The wizard as the main window reaches it (installed by the program entry).
    void setWizardPeer(WizardPeer *peer);
    WizardPeer *wizardPeer() const;

    // The load handler: caption, machine identifier, update window, start page,
    // then waits for the update check before the window shows itself. Given a page
    // (the command line's), the views show that page instead of the start page; false
    // when it could not be opened.
    bool Form_Load(const QString &page = QString());

    // Command handlers, by the buttons' keys (also reached by tests).
    void Toolbar1_ButtonClick(const QString &key);
    void tBarStd_ButtonClick(const QString &key);
    void lblURLMessage_Click();

    // Find and replace in the view in front (replacing in the source view only):
    // the window with what to find, the next or previous match, the selected match
    // replaced, every match replaced as one edit (returns how many).
    void showFind(bool replace);
    bool findNext(bool backward);
    bool replaceOne();
    int replaceAll();
    // "Format": indents the source view's HTML as one edit (one step to undo); only
    // while the source view is in front. Returns whether the text changed.
    bool formatSource();
    // Opens a page from the "Open Recent" menu (asks first, as Open does).
    bool openRecent(const QString &path);

    // The action of a key ("new", "bold", "find", ...), nullptr for an unknown key.
    QAction *toolbarAction(const QString &key) const;

    // True when the document holds work that Save has not written (in any view).
    bool hasUnsavedChanges() const;

    // Runs a modal dialog of the commands (upload). Tests replace it so that no
    // modal window ever blocks; the default runs QDialog::exec().
    using ModalRunner = std::function<int(QDialog &)>;
    static void setModalRunner(ModalRunner runner);
    static int runModal(QDialog &dialog);

signals:
    // Emitted when the window becomes visible for the first time (start-up timing).
    void firstShown();
    // Emitted when the window has closed: the program ends.
    void programEnded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // True when nothing unsaved would be lost, or the user agreed to lose it.
    bool mayClearWork();
    // The tab switch; `previousTab` is the tab that was in front before.
    void SSTabEditor_Click(int previousTab);
    // The "save" command; true when the document was written. `askedAndCancelled`
    // tells whether the user cancelled the Save dialog.
    bool saveDocument(bool *askedAndCancelled = nullptr);
    // Writes the document to CurrentFile; "Please save this file first" when it cannot.
    bool writeDocument();
    // The preview, made on first use.
    platform::BrowserView *preview();
    // Loads the design view from `path`, showing its progress; false when it failed.
    bool loadDesign(const QString &path);
    // The page changed (`fromFile`: to the file as it is): the preview loads it when
    // its tab is shown, at once when it is in front.
    void previewChanged(bool fromFile);
    void loadPreviewIfDue();
    // The tab that was in front when the window last closed.
    void restoreLastTab();
    void placePreview();
    // The panel over the start page: shown by the load handler, gone once work begins.
    void showStartPanel();
    void hideStartPanel();
    void placeStartPanel();
    void rememberPage(const QString &path);
    void fillRecentMenu();
    void updateFindDialog();
    // The caption, with the unsaved-changes mark while there are edits.
    void setCaption(const QString &caption);
    void setModified(bool modified);
    void watchDesignInput(QWidget *widget);
    // Bold, italic and underline show the state at the design view's caret.
    void refreshCaretState();

    class Private;
    Private *d;
};

} // namespace editor
