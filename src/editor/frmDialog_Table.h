#pragma once
// The insert-table dialog: builds a table of empty cells and pastes it into the
// main window's design view. Shown non-modally, one instance at a time.

#include <QDialog>

class QLineEdit;
class QScrollBar;

namespace Ui {
class frmDialog_Table;
}

namespace editor {

class frmDialog_Table : public QDialog {
    Q_OBJECT
public:
    // Shows the dialog, loading it afresh; when it is already open it only comes
    // to the front and keeps what the user entered.
    static frmDialog_Table *showDialog(QWidget *mainWindow);
    // The open dialog, nullptr when none.
    static frmDialog_Table *instance();

    // ID of the next table; lasts from the first table to the end of the program.
    static qint16 TableCount;

    ~frmDialog_Table() override;

    // The button handlers (OK validates, builds and pastes the table, then closes).
    void cmdOK_Click();
    void cmdCancel_Click();

    Ui::frmDialog_Table *ui;

private:
    explicit frmDialog_Table(QWidget *parent);
    void Form_Load();
    void connectSpinner(QScrollBar *spinner, QLineEdit *box);
};

} // namespace editor
