#pragma once
// The page being edited: its text as the views last agreed on it, its file, and
// whether it holds work that Save has not written. The design and source views are
// reached through PageView. A tab switch moves the text between the views in
// memory; only save() writes the user's file.

#include <QByteArray>
#include <QString>

namespace editor {

// What the document needs from an editing view.
class PageView {
public:
    virtual ~PageView() = default;
    virtual QString pageText() = 0;                 // the page as the view holds it now
    virtual bool showPage(const QString &text) = 0; // replaces the view's page
    virtual bool edited() = 0;                      // changed since showPage or resetEdits
    virtual QByteArray fileBytes() = 0;             // the page as its file would hold it
    virtual void resetEdits() = 0;                  // what the view holds counts as unedited
    // The view's own form of the page as last shown or reset, when pageText() rewrites
    // the page as a whole; empty when it hands back the text as it was typed, or has
    // no form of the document's page to measure its edits against. Asked for only
    // when edits are taken.
    virtual QString baselineText() { return QString(); }
};

class Document {
public:
    enum Tab { Design = 0, Source = 1, Preview = 2 };

    Document(PageView &design, PageView &source);

    // Both views were just filled from `path` (empty: a page never saved), showing
    // `text`, with `tab` in front: nothing is unsaved.
    void opened(const QString &path, const QString &text, int tab = Design);
    // Reads `path()` again into both views; false (nothing changed) when it cannot be read.
    bool reload();

    QString path() const { return m_path; }
    void setPath(const QString &path) { m_path = path; }
    // The page as of the last tab switch or save.
    QString text() const { return m_text; }
    int tab() const { return m_tab; }

    // Brings `tab` to the front. The edits of the view left become the page's text
    // and the other editing view is refilled from it, unless it already shows it
    // (so its undo survives a round trip that changed nothing). True when the page
    // left the design or source view, so the preview should show it again.
    bool switchTo(int tab);

    // Work that Save has not written (asks the view in front).
    bool modified();
    // Save must ask for a file first: none yet, or the program's preview file.
    bool needsPath(const QString &previewFile) const;
    // Writes the page to path() through a temporary file; an unchanged page already
    // in that file is not written again. False when there is no path or the write failed.
    bool save();

private:
    PageView &view(int tab) { return tab == Design ? m_design : m_source; }
    void takeEdits();
    const QString &baseline(int tab);

    PageView &m_design;
    PageView &m_source;
    QString m_path;
    QString m_savedPath; // the file the page was last read from or written to
    QString m_text;
    int m_tab = Design;
    bool m_modified = false;
    bool m_shows[2] = {true, true};       // the design / source view shows m_text
    QString m_baseline[2];                // the view's own form of m_text, when it rewrites pages
    bool m_baselineDue[2] = {true, true}; // ... not yet asked of the view
};

} // namespace editor
