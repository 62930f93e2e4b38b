#include "editor/frmDialog_Table.h"

#include "editor/frmMain.h"
#include "editor/logic/TableText.h"
#include "platform/Dialogs.h"
#include "ui_frmDialog_Table.h"

#include <QPointer>

namespace editor {

namespace {
QPointer<frmDialog_Table> g_instance;
} // namespace

qint16 frmDialog_Table::TableCount = 0;

frmDialog_Table *frmDialog_Table::showDialog(QWidget *mainWindow)
{
    if (!g_instance) {
        g_instance = new frmDialog_Table(mainWindow);
        g_instance->Form_Load();
    }
    g_instance->show();
    g_instance->raise();
    g_instance->activateWindow();
    return g_instance;
}

frmDialog_Table *frmDialog_Table::instance()
{
    return g_instance;
}

frmDialog_Table::frmDialog_Table(QWidget *parent) : QDialog(parent), ui(new Ui::frmDialog_Table)
{
    ui->setupUi(this);
    // Closing unloads the dialog, so every showing starts from the initial texts.
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmDialog_Table::cmdOK_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmDialog_Table::cmdCancel_Click);
    connectSpinner(ui->VScrollBorder, ui->combo2);
    connectSpinner(ui->VScrollSpacing, ui->combo3);
    connectSpinner(ui->VScrollPadding, ui->combo4);
    connectSpinner(ui->VScrollRow, ui->Text2);
    connectSpinner(ui->VScrollCol, ui->Text1);
}

frmDialog_Table::~frmDialog_Table()
{
    delete ui;
}

void frmDialog_Table::Form_Load()
{
    ui->cmdOK->setText(QStringLiteral("OK"));
    ui->cmdCancel->setText(QStringLiteral("Cancel"));
    ui->cmbAlign->clear();
    ui->cmbAlign->addItems({QStringLiteral("Left"), QStringLiteral("Center"), QStringLiteral("Right")});
    ui->cmbAlign->setCurrentText(QStringLiteral("Left"));
    if (parentWidget())
        setWindowIcon(parentWidget()->windowIcon());
}

void frmDialog_Table::connectSpinner(QScrollBar *spinner, QLineEdit *box)
{
    // The spinner keeps its own value; typing in the box does not move it, and
    // at 0 the box keeps whatever it shows.
    connect(spinner, &QScrollBar::valueChanged, box, [box](int value) {
        if (value >= 1)
            box->setText(QString::number(value));
    });
}

void frmDialog_Table::cmdOK_Click()
{
    const auto rows = ParseCount(ui->Text2->text());
    if (!rows) {
        platform::msgBox(QStringLiteral("Please enter a whole number up to 32767 for \"# Of Rows\"."), this);
        ui->Text2->setFocus();
        return;
    }
    const auto columns = ParseCount(ui->Text1->text());
    if (!columns) {
        platform::msgBox(QStringLiteral("Please enter a whole number up to 32767 for \"# Of Columns\"."),
                         this);
        ui->Text1->setFocus();
        return;
    }
    const long long cells = static_cast<long long>(*rows) * *columns;
    if (*rows > 0 && *columns > 0 && cells > kMaxTableCells) {
        platform::msgBox(QStringLiteral("A table can have at most %1 cells; this one would have %2.")
                             .arg(kMaxTableCells)
                             .arg(cells),
                         this);
        return;
    }
    if (*rows > 0 && *columns > 0 && cells > kLargeTableCells) {
        const auto answer = platform::dialogs().message(
            QStringLiteral("This table has %1 cells and may take a long time to insert. Insert it anyway?")
                .arg(cells),
            platform::kAppTitle, platform::Buttons::YesNo, platform::Icon::Question, this);
        if (answer != platform::Answer::Yes)
            return;
    }

    TableSetup setup;
    setup.align = ui->cmbAlign->currentText();
    setup.border = ui->combo2->text();
    setup.spacing = ui->combo3->text();
    setup.padding = ui->combo4->text();
    setup.rows = *rows;
    setup.columns = *columns;
    const QString table = BuildTableText(TableCount, setup);

    // A table that did not reach the document keeps the dialog open and its ID unused.
    frmMain *main = frmMain::instance();
    if (!main || !main->insertHTML(table)) {
        platform::msgBox(QStringLiteral("The table could not be inserted into the design view."), this);
        return;
    }
    TableCount = TableCount == 32767 ? 0 : TableCount + 1;
    close();
}

void frmDialog_Table::cmdCancel_Click()
{
    close();
}

} // namespace editor
