#include "editor/logic/Document.h"

#include "editor/source/DesignMerge.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace editor {

Document::Document(PageView &design, PageView &source) : m_design(design), m_source(source) {}

void Document::opened(const QString &path, const QString &text, int tab)
{
    m_path = m_savedPath = path;
    m_text = text;
    m_tab = tab;
    m_modified = false;
    m_shows[Design] = m_shows[Source] = true;
    m_baselineDue[Design] = m_baselineDue[Source] = true;
}

// Asked for only when edits are taken: a view may have to fetch its form of a big page.
const QString &Document::baseline(int tab)
{
    if (m_baselineDue[tab]) {
        m_baseline[tab] = view(tab).baselineText();
        m_baselineDue[tab] = false;
    }
    return m_baseline[tab];
}

bool Document::reload()
{
    QFile file(m_path);
    if (m_path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromLocal8Bit(file.readAll());
    // Both views take the text, even when the first cannot show it.
    const bool designShown = m_design.showPage(text);
    const bool shown = m_source.showPage(text) && designShown;
    m_design.resetEdits();
    m_source.resetEdits();
    opened(m_path, text, m_tab);
    return shown;
}

void Document::takeEdits()
{
    if (m_tab == Preview || !view(m_tab).edited())
        return;
    const QString edited = view(m_tab).pageText();
    // A view that rewrites the whole page changes only the parts its edits changed,
    // measured against its form of the page as the document last gave or took it.
    const QString &base = baseline(m_tab);
    const bool merge = m_shows[m_tab] && !base.isEmpty();
    m_text = merge ? textmodel::MergeDesignEdit(m_text, base, edited) : edited;
    view(m_tab).resetEdits();    // taken: edits from here on are new ones
    m_baselineDue[m_tab] = true; // the view's form of the page is now the one it handed over
    m_modified = true;
    m_shows[m_tab] = true;
    m_shows[1 - m_tab] = false;
}

bool Document::switchTo(int tab)
{
    const int left = m_tab;
    takeEdits();
    m_tab = tab;
    // The other editing view is refreshed now, as the preview is (a view that could
    // not take the page tries again at the next switch).
    for (int t : {Design, Source})
        if (!m_shows[t]) {
            m_shows[t] = view(t).showPage(m_text);
            m_baselineDue[t] = true;
        }
    return left != Preview;
}

bool Document::modified()
{
    return m_modified || (m_tab != Preview && view(m_tab).edited());
}

bool Document::needsPath(const QString &previewFile) const
{
    return m_path.isEmpty() || m_path.compare(previewFile, Qt::CaseInsensitive) == 0;
}

bool Document::save()
{
    if (m_path.isEmpty())
        return false;
    takeEdits();
    const bool samePlace = QFileInfo(m_path) == QFileInfo(m_savedPath) && QFileInfo::exists(m_path);
    if (!m_modified && samePlace)
        return true;
    // The source view keeps the file's own line ends and markup: it writes whenever
    // it shows the page, and is given the page when the design view's edits were
    // written into it (the design view would write its own serialisation).
    if (!m_shows[Source])
        m_shows[Source] = m_source.showPage(m_text);
    PageView &writer = m_shows[Source] ? m_source : m_design;
    const QByteArray bytes = writer.fileBytes();
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return false;
    m_savedPath = m_path;
    m_modified = false;
    for (int t : {Design, Source})
        if (m_shows[t])
            view(t).resetEdits();
    return true;
}

} // namespace editor
