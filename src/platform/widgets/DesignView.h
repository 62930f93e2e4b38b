#pragma once
// The design view: one HTML document edited in place (Qt WebEngine with
// document.designMode "on").
//
// WebEngine works asynchronously. Every operation below that loads, reads or
// changes the document waits for WebEngine in a local event loop, so callers use it
// as a synchronous call; while it waits, window events are processed. Loads wait
// until WebEngine ends them, however long a big page takes (loadProgress tells how
// far they got); the other operations wait with a time-out. The view refuses
// re-entry from inside such a wait (the call fails).

#include "platform/Dialogs.h"

#include <QStringList>
#include <QVariant>
#include <QWebEngineView>
#include <functional>
#include <optional>

class QMenu;

namespace platform {

// Command numbers of the formatting commands.
enum DesignCommand : int {
    DECMD_BOLD = 5000,
    DECMD_COPY = 5002,
    DECMD_CUT = 5003,
    DECMD_FONT = 5009,
    DECMD_HYPERLINK = 5016,
    DECMD_IMAGE = 5017,
    DECMD_INDENT = 5018,
    DECMD_ITALIC = 5023,
    DECMD_JUSTIFYCENTER = 5024,
    DECMD_JUSTIFYLEFT = 5025,
    DECMD_JUSTIFYRIGHT = 5026,
    DECMD_ORDERLIST = 5030,
    DECMD_OUTDENT = 5031,
    DECMD_PASTE = 5032,
    DECMD_REDO = 5033,
    DECMD_SETFORECOLOR = 5046,
    DECMD_UNDERLINE = 5048,
    DECMD_UNDO = 5049,
    DECMD_UNORDERLIST = 5051,
};

// Execution option 1: the view asks the user for the command's value through a
// dialog of its own (font, hyperlink address, image address), via platform::dialogs().
constexpr int kPromptUser = 1;

class DesignView : public QWebEngineView {
    Q_OBJECT
public:
    explicit DesignView(QWidget *parent = nullptr);
    ~DesignView() override;

    // The editing page, made on first use: the view can be shown before the web engine
    // starts. Hides QWebEngineView::page(), which would make a page of its own.
    QWebEnginePage *page() const;

    // Replaces the document by `html` and waits until it is shown (false when it
    // could not be shown).
    // Relative addresses resolve against `baseFile`'s folder (the program's when empty).
    bool setDocumentHTML(const QString &html, const QString &baseFile = QString());
    // The current document as HTML text (waits for WebEngine).
    QString DocumentHTML();
    // Replaces the document by the file's HTML (loaded by file URL, so relative
    // images resolve). False when the file cannot be loaded.
    bool LoadDocument(const QString &path);
    // Starts loading the file without waiting: WebEngine gets on with it while the
    // program does other work. The next LoadDocument of the same file waits for this
    // load instead of starting another; any other load drops it. False when the file
    // cannot be read or a wait is running.
    bool startLoadDocument(const QString &path);
    // Writes the current document to `path` as 8-bit text, through a temporary file
    // and a rename. False on any failure.
    bool SaveDocument(const QString &path);
    // The bytes SaveDocument writes; `ok` is false when the document could not be read.
    QByteArray DocumentBytes(bool *ok = nullptr);
    // Applies a command to the current selection. `option` 1 prompts for the value;
    // `argument` is the value otherwise (a colour text "RRGGBB" for the text colour).
    bool ExecCommand(int command, int option = 0, const QVariant &argument = QVariant());

    // What Insert Image puts in for an address: nothing (std::nullopt) inserts the
    // address as typed, "" inserts nothing (the hook has said why), other text is
    // inserted as HTML in its place.
    using PictureInserter = std::function<std::optional<QString>(const QString &address)>;
    void setPictureInserter(PictureInserter inserter);

    // The document object's operations that the program uses.
    bool setBgColor(const QString &colorText); // document.bgColor := colorText
    bool pasteHTML(const QString &html);       // the selection's text range "pastehtml"

    // True once the user (or a command) changed the document since it was last
    // set, loaded, saved or marked clean: any change counts, even one typed and
    // taken back. (Asks the page, which notes every change: a short wait.)
    bool isDirty() const;
    void setDirty(bool dirty);
    // The document's HTML text as it was when last set, loaded, saved or marked clean.
    QString baselineHTML() const;

    // Runs `script` in the view's own script world (page scripts are off) and waits
    // for its result; `ok` is false when it did not finish in time or was refused.
    QVariant runScript(const QString &script, bool *ok = nullptr);
    // How long each wait other than a load may last (15 s unless set).
    void setWaitTimeout(int milliseconds);
    // True while an operation waits for WebEngine; others are refused meanwhile.
    bool isWaiting() const;

    // Spelling: the languages of the dictionaries installed beside the program
    // ("en-US", ...), and the one the view checks with (none: no checking).
    static QStringList spellingLanguages();
    // Points WebEngine at the dictionaries shipped in the program folder (installed:
    // <prefix>/share/quillmark), unless the environment names a folder. Call before
    // the first view is made.
    static void useShippedDictionaries();
    void setSpellingLanguage(const QString &language);
    QString spellingLanguage() const;

signals:
    void documentChanged();
    // A page was set or loaded (documentChanged follows).
    void documentLoaded();
    // The context menu is about to show (with the spelling suggestions first).
    void contextMenuShown(QMenu *menu);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    class Private;
    Private *d;
};

} // namespace platform
