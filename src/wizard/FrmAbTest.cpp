#include "wizard/FrmAbTest.h"

#include "ui_FrmAbTest.h"
#include "wizard/AbTest.h"

#include <QPointer>

namespace wizard {

FrmAbTest::FrmAbTest(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::FrmAbTest>())
{
    ui->setupUi(this);
    for (QSpinBox *box : {ui->spnVisitsA, ui->spnOrdersA, ui->spnVisitsB, ui->spnOrdersB})
        connect(box, &QSpinBox::valueChanged, this, &FrmAbTest::countsChanged);
    connect(ui->cmdButtons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    countsChanged();
}

FrmAbTest::~FrmAbTest() = default;

FrmAbTest *FrmAbTest::showShared(QWidget *parent)
{
    static QPointer<FrmAbTest> shared;
    if (!shared)
        shared = new FrmAbTest(parent);
    shared->show();
    shared->raise();
    shared->activateWindow();
    return shared;
}

void FrmAbTest::countsChanged()
{
    const AbCounts counts{ui->spnVisitsA->value(), ui->spnOrdersA->value(), ui->spnVisitsB->value(),
                          ui->spnOrdersB->value()};
    const QString problem = AbCountsProblem(counts);
    AbTexts texts;
    if (problem.isEmpty()) {
        texts = DescribeAb(CompareAb(counts));
    } else {
        // What is missing, said as a sentence of its own.
        texts.sentence = problem.left(1).toUpper() + problem.mid(1) + QLatin1Char('.');
    }
    ui->lblRateA->setText(texts.rateA);
    ui->lblRateB->setText(texts.rateB);
    ui->lblLift->setText(texts.lift);
    ui->lblPValue->setText(texts.pValue);
    ui->lblSentence->setText(texts.sentence);
}

} // namespace wizard
