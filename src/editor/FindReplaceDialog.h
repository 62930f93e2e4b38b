#pragma once
// The find and replace window of the main window: it holds what to find and how,
// and asks its owner to search; the owner acts on the view in front. Replace is
// offered only where the view in front can take it (the source view).

#include "editor/logic/FindText.h"

#include <QDialog>
#include <memory>

namespace Ui {
class FindReplaceDialog;
}

namespace editor {

class FindReplaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit FindReplaceDialog(QWidget *owner);
    ~FindReplaceDialog() override;

    QString findText() const;
    QString replaceText() const;
    FindOptions options() const;
    // Shows the replace row and the options the view in front supports.
    void setReplaceAvailable(bool available);
    void setPatternOptionsAvailable(bool available);
    void setFindText(const QString &text);
    void setStatus(const QString &text);
    // Shows the window with the find box (or, for replacing, the replace box) ready.
    void showForFind(bool replace = false);

signals:
    void findRequested(bool backward);
    void replaceRequested();
    void replaceAllRequested();

private:
    std::unique_ptr<Ui::FindReplaceDialog> ui;
};

} // namespace editor
