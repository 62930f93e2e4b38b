#pragma once
// "Which version sells?": the A/B test calculator opened from the wizard's last step.
// The figures follow the counts as they are typed.

#include <QDialog>
#include <memory>

namespace Ui {
class FrmAbTest;
}

namespace wizard {

class FrmAbTest : public QDialog {
    Q_OBJECT
public:
    explicit FrmAbTest(QWidget *parent = nullptr);
    ~FrmAbTest() override;

    // The one calculator of the program, created on first use and kept with its counts.
    static FrmAbTest *showShared(QWidget *parent);

    std::unique_ptr<Ui::FrmAbTest> ui;

private:
    void countsChanged();
};

} // namespace wizard
