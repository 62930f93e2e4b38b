#pragma once
// The findings of the page check, shown below the editor's views: one row per
// finding; a double-click asks for its place in the source.

#include "check/PageCheck.h"

#include <QWidget>
#include <memory>

class QTreeWidgetItem;

namespace Ui {
class CheckPanel;
}

namespace editor {

class CheckPanel : public QWidget {
    Q_OBJECT
public:
    explicit CheckPanel(QWidget *parent = nullptr);
    ~CheckPanel() override;

    // Fills the list and the summary from a report.
    void showReport(const check::Report &report);
    const check::Report &report() const { return m_report; }

signals:
    // A finding was double-clicked (or chosen with Enter).
    void findingActivated(const check::Finding &finding);
    // The panel's Close button was pressed.
    void closeRequested();

private:
    void activate(QTreeWidgetItem *item);

    std::unique_ptr<Ui::CheckPanel> m_ui;
    check::Report m_report;
};

} // namespace editor
