#pragma once
// Regenerating a page must never replace work without asking. Quillmark remembers
// a content hash of every page it writes (in the user data folder, keyed by the
// page's path); a page whose bytes differ from that was edited since, by the
// editor or by anything else.

#include <QString>

class QWidget;

namespace generation {

// GenerateTemplateBasedPage calls RememberPageWritten after it has written a page.
void RememberPageWritten(const QString &pagePath);
// True when the page exists and its bytes differ from what Quillmark last wrote there
// (a page Quillmark never wrote counts as changed when it exists).
bool PageChangedSinceLastWrite(const QString &pagePath);

// Why writing a page again would lose work.
enum class OverwriteRisk {
    None,          // nothing to lose: no file, or the file as Quillmark wrote it
    UnsavedEdits,  // the editor holds edits of this page that are not saved
    ChangedOnDisk, // the file was changed since Quillmark last wrote it
};
OverwriteRisk RiskOfOverwriting(const QString &pagePath, bool editorHasUnsavedEditsOfPage);

enum class OverwriteChoice { Overwrite, SaveElsewhere, Cancel };
// Overwrite when nothing is at risk; otherwise asks through platform::dialogs()
// with the buttons "Overwrite", "Save the new page under another name…" and "Cancel".
OverwriteChoice AskBeforeOverwriting(const QString &pagePath, bool editorHasUnsavedEditsOfPage,
                                     QWidget *parent = nullptr);

// The button texts of the question, left to right.
QString OverwriteButtonText(OverwriteChoice choice);

} // namespace generation
