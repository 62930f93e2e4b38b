#pragma once
// The Open command's dialog: continue with a product's saved wizard data, or open
// any HTML file in the editor. Either way the editor is emptied first.

#include <QDialog>

namespace Ui {
class frmLoadFile;
}

namespace wizard {

class frmLoadFile : public QDialog {
    Q_OBJECT
public:
    explicit frmLoadFile(QWidget *parent = nullptr);
    ~frmLoadFile() override;

    // Loads a fresh dialog, shows it modally and returns once it is unloaded.
    static void showModal(QWidget *parent = nullptr);

    void xpcmdOpen_Click();
    void xpcmdCancel_Click();

    Ui::frmLoadFile *ui;

signals:
    void unloaded();

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void unload();
};

} // namespace wizard
