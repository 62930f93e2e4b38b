#include "wizard/frmWizard.h"
#include "ui_frmWizard.h"

#include "desktop/OpenURLInNewWindow.h"
#include "editor/frmMain.h"
#include "editor/logic/Branding.h"
#include "generation/FolderLister.h"
#include "generation/modTemplates.h"
#include "platform/AppFolder.h"
#include "platform/Dialogs.h"
#include "platform/widgets/BrowserView.h"
#include "store/QtForm.h"
#include "store/modReadWriteIni.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPointer>
#include <QStyle>
#include <QStyledItemDelegate>

namespace wizard {

namespace {

QPointer<frmWizard> s_instance;

const char *const kStepTitles[frmWizard::N] = {"About your software",
                                               "Problem and solution",
                                               "Product image",
                                               "Questions and answers",
                                               "Features",
                                               "Free trial",
                                               "Testimonials",
                                               "Price and order",
                                               "Template and preview",
                                               "Generate the page"};

const char *const kPromoTitle[3] = {"Web applications", "Templates made for you", "Your branded edition"};
const char *const kPromoText[3] = {
    "Shopping carts, help desks and newsletters that drop into your site in minutes.",
    "Have our designers draw a template in your product's colours, ready for this wizard.",
    "Give Quillmark to your customers with your name and links on every page."};

const char *const kStyleSheet = R"(
#Image1 {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #1d3557, stop:1 #2a6f97);
    color: #d8e6f2;
    padding: 22px 14px;
}
QLabel[role="header"] {
    font-size: 15pt;
    font-weight: 600;
    color: #1d3557;
    padding-bottom: 6px;
    border-bottom: 2px solid #2a6f97;
}
QLabel[role="hint"] { color: #5b6573; font-style: italic; }
QLabel[role="lead"] { font-weight: 600; }
QLabel[role="promoTitle"] { font-weight: 600; color: #1d3557; }
QLabel[role="promoText"] { color: #2a6f97; }
#FrameLoadSoftware {
    background: #e6eff7;
    border: 1px solid #8fb0cf;
    border-radius: 4px;
    margin-top: 0px;
    padding-top: 24px;
}
#FrameLoadSoftware::title {
    subcontrol-origin: padding;
    subcontrol-position: top left;
    left: 12px;
    top: 6px;
    color: #1d3557;
}
)";

// Qt's text boxes give "\n"; the record and the data file hold CR LF.
QString toRecord(const QString &widgetText)
{
    QString s = widgetText;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return s;
}

QString fromRecord(const QString &recordText)
{
    QString s = recordText;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return s;
}

QString boxText(const QWidget *box)
{
    if (auto *line = qobject_cast<const QLineEdit *>(box))
        return line->text();
    if (auto *multi = qobject_cast<const QPlainTextEdit *>(box))
        return toRecord(multi->toPlainText());
    return {};
}

void setBoxText(QWidget *box, const QString &recordText)
{
    if (auto *line = qobject_cast<QLineEdit *>(box))
        line->setText(recordText);
    else if (auto *multi = qobject_cast<QPlainTextEdit *>(box))
        multi->setPlainText(fromRecord(recordText));
}

// List rows keep the record's text (CR LF); the cells show each line break as a mark.
class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        // Before the base class, which turns line feeds into line separators.
        QString s = value.toString();
        s.replace(QLatin1String("\r\n"), QStringLiteral(" \u21b5 "));
        return QStyledItemDelegate::displayText(s, locale);
    }
};

QVector<generation::ListRow> rowsOf(const QTreeWidget *list)
{
    QVector<generation::ListRow> rows;
    const int columns = list->columnCount();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->topLevelItem(i);
        generation::ListRow row;
        row.text = item->text(0);
        for (int c = 1; c < columns; ++c)
            row.subItems << item->text(c);
        rows << row;
    }
    return rows;
}

void appendRow(QTreeWidget *list, const QStringList &texts, const QIcon &icon)
{
    auto *item = new QTreeWidgetItem(texts);
    item->setIcon(0, icon);
    list->addTopLevelItem(item);
}

QTreeWidgetItem *selectedRow(QTreeWidget *list)
{
    if (list->topLevelItemCount() == 0)
        return nullptr;
    const QList<QTreeWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

class ComboAdapter : public generation::ComboTarget {
public:
    explicit ComboAdapter(QComboBox *combo) : m_combo(combo) {}
    void clear() override { m_combo->clear(); }
    void addItem(const QString &text) override { m_combo->addItem(text); }
    int count() const override { return m_combo->count(); }
    void setCurrentIndex(int index) override { m_combo->setCurrentIndex(index); }

private:
    QComboBox *m_combo;
};

QIcon listIcon(const QWidget *w, int number)
{
    static const QStyle::StandardPixmap kIcons[] = {
        QStyle::SP_MessageBoxQuestion, QStyle::SP_DialogApplyButton, QStyle::SP_FileDialogContentsView,
        QStyle::SP_DialogSaveButton};
    return w->style()->standardIcon(kIcons[number - 1]);
}

} // namespace

const QString frmWizard::kPromoAddress[3] = {editor::branding::kCompanyPage, editor::branding::kMorePage,
                                             editor::branding::kBrandPage};

QString resolveImagePath(const QString &path)
{
    // A relative path (as in the shipped sample product) means the application folder,
    // whatever folder the program was started from.
    if (path.isEmpty() || !QFileInfo(path).isRelative() || QFileInfo::exists(path))
        return path;
    const QString inApp = platform::inAppFolder(path);
    return QFileInfo::exists(inApp) ? inApp : path;
}

QString trimSpaces(const QString &text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

frmWizard &frmWizard::instance()
{
    if (!s_instance) {
        s_instance = new frmWizard(editor::frmMain::instance());
        s_instance->Form_Load();
    }
    return *s_instance;
}

frmWizard *frmWizard::existing()
{
    return s_instance.data();
}

void frmWizard::destroyInstance()
{
    delete s_instance.data();
}

frmWizard::frmWizard(QWidget *parent) : QDialog(parent), ui(new Ui::frmWizard)
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setStyleSheet(QString::fromLatin1(kStyleSheet));

    QWidget *const pages[N] = {ui->pctWizard_0, ui->pctWizard_1, ui->pctWizard_2, ui->pctWizard_3,
                               ui->pctWizard_4, ui->pctWizard_5, ui->pctWizard_6, ui->pctWizard_7,
                               ui->pctWizard_8, ui->pctWizard_9};
    std::copy(std::begin(pages), std::end(pages), pctWizard);
    pctWizard1 = ui->pctWizard1;
    FrameLoadSoftware = ui->FrameLoadSoftware;
    cmbExistingSoftware = ui->cmbExistingSoftware;
    cmbTemplates = ui->cmbTemplates;
    xpcmdEditInEditor[0] = ui->xpcmdEditInEditor_0;
    xpcmdEditInEditor[1] = ui->xpcmdEditInEditor_1;
    xpcmdSave = ui->xpcmdSave;
    xpcmdClose = ui->xpcmdClose;
    xpcmdPrevious = ui->xpcmdPrevious;
    xpcmdNext = ui->xpcmdNext;
    imgProductImage = ui->imgProductImage;
    WebBrowser1 = ui->WebBrowser1;

    // The load panel lies over the upper fields of step 1 instead of taking a row.
    FrameLoadSoftware->setAutoFillBackground(true);
    pctWizard[0]->installEventFilter(this);
    // The picture follows its box, not the other way round.
    imgProductImage->installEventFilter(this);

    for (QTreeWidget *list : {ui->lvwFAQ, ui->lvwFeatures, ui->lvwTestimonial})
        list->setItemDelegate(new RowDelegate(list));

    connect(xpcmdNext, &QPushButton::clicked, this, &frmWizard::xpcmdNext_Click);
    connect(xpcmdPrevious, &QPushButton::clicked, this, &frmWizard::xpcmdPrevious_Click);
    connect(xpcmdClose, &QPushButton::clicked, this, &frmWizard::xpcmdClose_Click);
    connect(xpcmdSave, &QPushButton::clicked, this, &frmWizard::xpcmdSave_Click);
    connect(ui->xpcmdLoadInfo, &QPushButton::clicked, this, &frmWizard::xpcmdLoadInfo_Click);
    connect(ui->xpcmdLoadCancel, &QPushButton::clicked, this, &frmWizard::xpcmdLoadCancel_Click);
    connect(ui->xpcmdLoadLoad, &QPushButton::clicked, this, &frmWizard::xpcmdLoadLoad_Click);
    connect(ui->xpcmdFAQAdd, &QPushButton::clicked, this, &frmWizard::xpcmdFAQAdd_Click);
    connect(ui->xpcmdFAQRemove, &QPushButton::clicked, this, &frmWizard::xpcmdFAQRemove_Click);
    connect(ui->lvwFAQ, &QTreeWidget::itemClicked, this, &frmWizard::lvwFAQ_Click);
    connect(ui->xpcmdFeatureAdd, &QPushButton::clicked, this, &frmWizard::xpcmdFeatureAdd_Click);
    connect(ui->xpcmdFeatureRemove, &QPushButton::clicked, this, &frmWizard::xpcmdFeatureRemove_Click);
    connect(ui->lvwFeatures, &QTreeWidget::itemClicked, this, &frmWizard::lvwFeatures_Click);
    connect(ui->xpcmdTestimonialAdd, &QPushButton::clicked, this, &frmWizard::xpcmdTestimonialAdd_Click);
    connect(ui->xpcmdTestimonialRemove, &QPushButton::clicked, this,
            &frmWizard::xpcmdTestimonialRemove_Click);
    connect(ui->lvwTestimonial, &QTreeWidget::itemClicked, this, &frmWizard::lvwTestimonial_Click);
    connect(ui->xpcmdBrowseProductImage, &QPushButton::clicked, this,
            &frmWizard::xpcmdBrowseProductImage_Click);
    connect(ui->txtProductImage, &QLineEdit::textChanged, this, &frmWizard::txtProductImage_Change);
    connect(ui->xpcmdMoreTemplates, &QPushButton::clicked, this, &frmWizard::xpcmdMoreTemplates_Click);
    connect(ui->xpcmdBrowserPreview, &QPushButton::clicked, this, &frmWizard::xpcmdBrowserPreview_Click);
    for (int i = 0; i < 2; ++i)
        connect(xpcmdEditInEditor[i], &QPushButton::clicked, this, [this, i] { xpcmdEditInEditor_Click(i); });

    QPushButton *const more[3] = {ui->xpcmdMore_0, ui->xpcmdMore_1, ui->xpcmdMore_2};
    QLabel *const texts[3] = {ui->lblPromoText_0, ui->lblPromoText_1, ui->lblPromoText_2};
    for (int i = 0; i < 3; ++i) {
        connect(more[i], &QPushButton::clicked, this, [i] { desktop::ShellOpen(kPromoAddress[i]); });
        texts[i]->setCursor(Qt::PointingHandCursor);
        texts[i]->installEventFilter(this);
    }
}

frmWizard::~frmWizard()
{
    delete ui;
}

void frmWizard::Form_Load()
{
    bringToFront(0);

    QLabel *const titles[3] = {ui->lblPromoTitle_0, ui->lblPromoTitle_1, ui->lblPromoTitle_2};
    QLabel *const texts[3] = {ui->lblPromoText_0, ui->lblPromoText_1, ui->lblPromoText_2};
    for (int i = 0; i < 3; ++i) {
        titles[i]->setText(QString::fromUtf8(kPromoTitle[i]));
        texts[i]->setText(QString::fromUtf8(kPromoText[i]));
    }

    if (editor::frmMain *main = editor::frmMain::instance())
        setWindowIcon(main->windowIcon());

    CurrentStep = 0;
    WebBrowser1->Navigate(QStringLiteral("about:blank"));

    // Column headers name the keys of the data file, so they are exact.
    struct ListSetup {
        QTreeWidget *list;
        QStringList columns;
        int icon;
    };
    for (const ListSetup &s : {ListSetup{ui->lvwFAQ, generation::kFAQColumns, 1},
                               ListSetup{ui->lvwFeatures, generation::kFeatureColumns, 2},
                               ListSetup{ui->lvwTestimonial, generation::kTestimonialColumns, 3}}) {
        s.list->setColumnCount(s.columns.size());
        s.list->setHeaderLabels(s.columns);
        s.list->headerItem()->setIcon(0, listIcon(this, s.icon));
        s.list->setColumnWidth(0, 7000 / 15);
    }

    xpcmdSave->setIcon(listIcon(this, 4));

    const QString appFolder = platform::applicationFolder();
    fillExistingSoftware();
    ComboAdapter templates(cmbTemplates);
    generation::FillComboFromFolder(appFolder, QStringLiteral("templates"), QStringLiteral(".htm"),
                                    templates);
    updateSideBar();
}

void frmWizard::showWindow(bool modal)
{
    if (!modal) {
        if (!isVisible())
            setWindowModality(Qt::NonModal);
        show();
        raise();
        activateWindow();
        return;
    }
    if (isVisible())
        hide();
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    QEventLoop loop;
    connect(this, &frmWizard::hidden, &loop, &QEventLoop::quit);
    if (isVisible())
        loop.exec(QEventLoop::DialogExec);
    setWindowModality(Qt::NonModal);
}

void frmWizard::bringToFront(int index)
{
    ui->stkWizard->setCurrentWidget(pctWizard[index]);
    updateSideBar();
}

int frmWizard::pageInFront() const
{
    return ui->stkWizard->currentIndex();
}

void frmWizard::updateSideBar()
{
    const int front = pageInFront();
    QString html = QStringLiteral("<p style='font-size:15pt; font-weight:600; color:#ffffff'>Quillmark</p>"
                                  "<p style='color:#a9c6de'>Sales page wizard</p><br>"
                                  "<table cellspacing='0' cellpadding='3'>");
    for (int i = 0; i < N; ++i) {
        const QString style =
            i == front ? QStringLiteral(" style='color:#ffffff; font-weight:600'") : QString();
        html += QStringLiteral("<tr><td align='right'%1>%2</td><td%1>%3</td></tr>")
                    .arg(style,
                         i == front ? QStringLiteral("&#9656;&nbsp;%1").arg(i + 1) : QString::number(i + 1),
                         QString::fromUtf8(kStepTitles[i]));
    }
    ui->Image1->setText(html + QStringLiteral("</table>"));
}

void frmWizard::setStepCaption()
{
    setWindowTitle(QStringLiteral("Wizard :: Step %1 of %2 for %3")
                       .arg(CurrentStep + 1)
                       .arg(N)
                       .arg(ui->txtSoftwareName->text()));
}

void frmWizard::xpcmdNext_Click()
{
    if (CurrentStep > N - 2)
        CurrentStep = 0;
    else
        CurrentStep = qint16(CurrentStep + 1);
    if (!xpcmdPrevious->isEnabled())
        xpcmdPrevious->setEnabled(true);
    if (N == CurrentStep + 1)
        xpcmdNext->setEnabled(false);
    setStepCaption();
    bringToFront(CurrentStep);
}

void frmWizard::xpcmdPrevious_Click()
{
    if (CurrentStep > 0)
        CurrentStep = qint16(CurrentStep - 1);
    else
        CurrentStep = N - 1;
    if (!xpcmdNext->isEnabled())
        xpcmdNext->setEnabled(true);
    if (CurrentStep == 0)
        xpcmdPrevious->setEnabled(false);
    setStepCaption();
    bringToFront(CurrentStep);
}

void frmWizard::xpcmdClose_Click()
{
    bringToFront(0);
    close();
}

void frmWizard::closeEvent(QCloseEvent *event)
{
    // The answers must survive until the program ends: never unload, only hide.
    event->ignore();
    hide();
}

void frmWizard::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        emit hidden();
}

void frmWizard::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    placeLoadFrame();
}

bool frmWizard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == pctWizard[0])
            placeLoadFrame();
        else if (watched == imgProductImage)
            showProductPicture();
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        QLabel *const texts[3] = {ui->lblPromoText_0, ui->lblPromoText_1, ui->lblPromoText_2};
        for (int i = 0; i < 3; ++i)
            if (watched == texts[i])
                desktop::ShellOpen(kPromoAddress[i]);
    }
    return QDialog::eventFilter(watched, event);
}

void frmWizard::placeLoadFrame()
{
    QWidget *page = pctWizard[0];
    const int top = ui->Image2_0->geometry().bottom() + 6;
    // Cover whole rows of fields, so that no half-hidden box peeks out below.
    int bottom = top + FrameLoadSoftware->sizeHint().height();
    for (QWidget *field :
         {static_cast<QWidget *>(ui->txtOneLiner), static_cast<QWidget *>(ui->txtKeywords),
          static_cast<QWidget *>(ui->txtSupportURL), static_cast<QWidget *>(ui->txtAffiliateURL)}) {
        if (field->geometry().bottom() + 4 >= bottom) {
            bottom = field->geometry().bottom() + 4;
            break;
        }
    }
    FrameLoadSoftware->setGeometry(0, top, page->width(), bottom - top);
    FrameLoadSoftware->raise();
}

// --- Saving and loading -------------------------------------------------------

void frmWizard::fillExistingSoftware()
{
    ComboAdapter combo(cmbExistingSoftware);
    generation::FillComboFromFolder(platform::applicationFolder(), QStringLiteral("sites"),
                                    QStringLiteral(".ini"), combo);
}

void frmWizard::xpcmdSave_Click()
{
    const QString name = ui->txtSoftwareName->text();
    if (trimSpaces(name).isEmpty()) {
        platform::msgBox(QStringLiteral("Please enter a name of the software to save"), this);
        ui->txtSoftwareName->setFocus();
        return;
    }
    const QString appFolder = platform::applicationFolder();
    store::QtForm form(this);
    if (!store::SaveFormToIni(name + QStringLiteral(".ini"), form, appFolder)) {
        // Saying nothing here would let the user believe the answers were kept.
        platform::msgBox(QStringLiteral("Unable to save the wizard data to ") +
                             store::DataFilePath(name + QStringLiteral(".ini"), appFolder),
                         this);
    }
    fillExistingSoftware();
}

void frmWizard::xpcmdLoadInfo_Click()
{
    placeLoadFrame();
    FrameLoadSoftware->setVisible(true);
}

void frmWizard::xpcmdLoadCancel_Click()
{
    FrameLoadSoftware->setVisible(false);
}

void frmWizard::xpcmdLoadLoad_Click()
{
    const QString name = cmbExistingSoftware->currentText();
    if (name.isEmpty()) {
        platform::msgBox(QStringLiteral("Please select an existing software data to load"), this);
        cmbExistingSoftware->setFocus();
        return;
    }
    const QString appFolder = platform::applicationFolder();
    const QString fileName = name + QStringLiteral(".ini");
    // Loading a missing file would empty the answers it cannot replace.
    if (!QFileInfo(store::DataFilePath(fileName, appFolder)).isFile()) {
        platform::msgBox(QStringLiteral("Unable to find the saved data of ") + name, this);
        cmbExistingSoftware->setFocus();
        return;
    }
    store::QtForm form(this);
    if (!store::LoadFormFromIni(fileName, form, appFolder))
        platform::msgBox(QStringLiteral("The saved data of ") + name +
                             QStringLiteral(" is incomplete: some answers could not be loaded."),
                         this);
    // Loaded rows come without their list's icon.
    int number = 1;
    for (QTreeWidget *list : {ui->lvwFAQ, ui->lvwFeatures, ui->lvwTestimonial}) {
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            list->topLevelItem(i)->setIcon(0, listIcon(this, number));
        ++number;
    }
    FrameLoadSoftware->setVisible(false);
    setWindowTitle(QStringLiteral("Wizard :: Step 1 of %1 for %2").arg(N).arg(ui->txtSoftwareName->text()));
}

void frmWizard::ClearAll()
{
    store::QtForm form(this);
    for (const store::Control &control : form.controls()) {
        if (control.textBox)
            control.textBox->setText(QString());
        else if (control.listView)
            control.listView->clear();
    }
}

// --- List editors ---------------------------------------------------------------

namespace {

// The first box whose text is empty (spaces aside) stops the Add with its message.
bool checkEntry(const QVector<QPair<QWidget *, QString>> &checks, QWidget *window)
{
    for (const auto &check : checks) {
        if (trimSpaces(boxText(check.first)).isEmpty()) {
            platform::msgBox(check.second, window);
            check.first->setFocus();
            return false;
        }
    }
    return true;
}

void clearBoxes(std::initializer_list<QWidget *> boxes)
{
    for (QWidget *box : boxes)
        setBoxText(box, QString());
}

void removeSelected(QTreeWidget *list, std::initializer_list<QWidget *> boxes)
{
    QTreeWidgetItem *row = selectedRow(list);
    if (!row)
        return;
    delete list->takeTopLevelItem(list->indexOfTopLevelItem(row));
    clearBoxes(boxes);
}

void loadSelected(QTreeWidget *list, std::initializer_list<QWidget *> boxes)
{
    QTreeWidgetItem *row = selectedRow(list);
    if (!row)
        return;
    int column = 0;
    for (QWidget *box : boxes)
        setBoxText(box, row->text(column++));
}

} // namespace

void frmWizard::xpcmdFAQAdd_Click()
{
    if (!checkEntry({{ui->txtFAQQuestion, QStringLiteral("Please enter a question")},
                     {ui->txtFAQAnswer, QStringLiteral("Please enter an answer")}},
                    this))
        return;
    appendRow(ui->lvwFAQ, {boxText(ui->txtFAQQuestion), boxText(ui->txtFAQAnswer)}, listIcon(this, 1));
    clearBoxes({ui->txtFAQAnswer, ui->txtFAQQuestion});
}

void frmWizard::xpcmdFAQRemove_Click()
{
    removeSelected(ui->lvwFAQ, {ui->txtFAQQuestion, ui->txtFAQAnswer});
}

void frmWizard::lvwFAQ_Click()
{
    loadSelected(ui->lvwFAQ, {ui->txtFAQQuestion, ui->txtFAQAnswer});
}

void frmWizard::xpcmdFeatureAdd_Click()
{
    const QString name = boxText(ui->txtFeatureName);
    if (!checkEntry({{ui->txtFeatureName, QStringLiteral("Please enter a name for the feature")},
                     {ui->txtFeatureDetail, QStringLiteral("Please enter the details of ") + name}},
                    this))
        return;
    appendRow(ui->lvwFeatures, {name, boxText(ui->txtFeatureDetail)}, listIcon(this, 2));
    clearBoxes({ui->txtFeatureName, ui->txtFeatureDetail});
}

void frmWizard::xpcmdFeatureRemove_Click()
{
    removeSelected(ui->lvwFeatures, {ui->txtFeatureName, ui->txtFeatureDetail});
}

void frmWizard::lvwFeatures_Click()
{
    loadSelected(ui->lvwFeatures, {ui->txtFeatureName, ui->txtFeatureDetail});
}

void frmWizard::xpcmdTestimonialAdd_Click()
{
    const QString name = boxText(ui->txtTestimonialName);
    if (!checkEntry({{ui->txtTestimonialName,
                      QStringLiteral("Please enter the name of the person who has given this feedback")},
                     {ui->txtTestimonialAdditionalInfo,
                      QStringLiteral("Please enter some more information about ") + name},
                     {ui->txtTestimonial, QStringLiteral("What does ") + name +
                                              QStringLiteral(" have to say about this product.")}},
                    this))
        return;
    appendRow(ui->lvwTestimonial,
              {name, boxText(ui->txtTestimonialAdditionalInfo), boxText(ui->txtTestimonial)},
              listIcon(this, 3));
    clearBoxes({ui->txtTestimonial, ui->txtTestimonialAdditionalInfo, ui->txtTestimonialName});
}

void frmWizard::xpcmdTestimonialRemove_Click()
{
    removeSelected(ui->lvwTestimonial,
                   {ui->txtTestimonial, ui->txtTestimonialAdditionalInfo, ui->txtTestimonialName});
}

void frmWizard::lvwTestimonial_Click()
{
    loadSelected(ui->lvwTestimonial,
                 {ui->txtTestimonialName, ui->txtTestimonialAdditionalInfo, ui->txtTestimonial});
}

// --- Product image, previews and the hand-off ---------------------------------------

void frmWizard::txtProductImage_Change()
{
    const QString path = resolveImagePath(ui->txtProductImage->text());
    if (path.isEmpty()) {
        m_productPicture = QPixmap();
    } else {
        // A partly typed path fails to load: the last good picture stays.
        QPixmap picture;
        if (!QFileInfo(path).isFile() || !picture.load(path))
            return;
        m_productPicture = picture;
    }
    showProductPicture();
}

void frmWizard::showProductPicture()
{
    if (m_productPicture.isNull()) {
        imgProductImage->clear();
        return;
    }
    const QSize room = imgProductImage->contentsRect().size() - QSize(8, 8);
    QPixmap shown = m_productPicture;
    if (shown.width() > room.width() || shown.height() > room.height())
        shown = shown.scaled(room.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    imgProductImage->setPixmap(shown);
}

void frmWizard::xpcmdBrowseProductImage_Click()
{
    platform::FileRequest request;
    request.title = QStringLiteral("Select the product image");
    request.filter = QStringLiteral("GIF Files (*.gif)|*.gif| JPG Files (*.jpg)|*.jpg|All files (*.*)|*.*");
    const QString chosen = platform::dialogs().openFile(request, this);
    if (!chosen.isEmpty())
        ui->txtProductImage->setText(chosen);
}

QString frmWizard::previewPath() const
{
    return platform::inAppFolder(QStringLiteral("~temp.htm"));
}

void frmWizard::preview()
{
    QString templateName = cmbTemplates->currentText();
    QString path = previewPath();
    QString image = resolveImagePath(ui->txtProductImage->text());
    generation::GenerateTemplateBasedPage(platform::applicationFolder(), templateName, path, image,
                                          pageData());
    WebBrowser1->Navigate(path);
}

void frmWizard::xpcmdMoreTemplates_Click()
{
    preview();
}

void frmWizard::xpcmdBrowserPreview_Click()
{
    preview();
    desktop::ShellOpen(previewPath());
}

void frmWizard::xpcmdEditInEditor_Click(int /*index*/)
{
    xpcmdSave_Click();

    QLineEdit *page = ui->txtGeneratedPage;
    // A path of spaces is no path; a remembered page that is gone is forgotten.
    if (trimSpaces(page->text()).isEmpty() || !QFileInfo(page->text()).isFile())
        page->clear();
    if (page->text().isEmpty()) {
        platform::FileRequest request;
        request.title = QStringLiteral("Save the sales page as");
        request.filter = QStringLiteral("Web Page (*.htm)|*.htm|All files (*.*)|*.*");
        const QString chosen = platform::dialogs().saveFile(request, this);
        if (chosen.isEmpty())
            return;
        page->setText(chosen);
        // Remember the new path with the product at once, so it regenerates into
        // the same file even if the user never saves again.
        if (!trimSpaces(ui->txtSoftwareName->text()).isEmpty())
            xpcmdSave_Click();
    }

    QString templateName = cmbTemplates->currentText();
    QString path = page->text();
    QString image = resolveImagePath(ui->txtProductImage->text());
    // Generation explains itself when it refuses (no template, unwritable folder).
    if (!generation::GenerateTemplateBasedPage(platform::applicationFolder(), templateName, path, image,
                                               pageData()) ||
        !QFileInfo(path).isFile())
        return;
    if (!handOff(path))
        return;
    close();
}

bool frmWizard::handOff(const QString &path)
{
    editor::frmMain *main = editor::frmMain::instance();
    return main && main->openPage(path);
}

generation::PageData frmWizard::pageData() const
{
    generation::PageData d;
    const Ui::frmWizard &u = *ui;
    d.txtSoftwareName = boxText(u.txtSoftwareName);
    d.txtKeywords = boxText(u.txtKeywords);
    d.txtOneLiner = boxText(u.txtOneLiner);
    d.txtSupportURL = boxText(u.txtSupportURL);
    d.txtAffiliateURL = boxText(u.txtAffiliateURL);
    d.txtExplainIn30Secs = boxText(u.txtExplainIn30Secs);
    d.txtCopyRightInfo = boxText(u.txtCopyRightInfo);
    d.txtProblem = boxText(u.txtProblem);
    d.txtProlemSolution = boxText(u.txtProlemSolution);
    d.txtBenefits = boxText(u.txtBenefits);
    d.txtComparison = boxText(u.txtComparison);
    d.txtProductImage = resolveImagePath(boxText(u.txtProductImage));
    d.txtProductCaption = boxText(u.txtProductCaption);
    d.txtMRP = boxText(u.txtMRP);
    d.txtSpecialPrice = boxText(u.txtSpecialPrice);
    d.txtOrderWithinHours = boxText(u.txtOrderWithinHours);
    d.txtPurchaseURL = boxText(u.txtPurchaseURL);
    d.txtOrderLaterIncentive = boxText(u.txtOrderLaterIncentive);
    d.txtDownloadURL = boxText(u.txtDownloadURL);
    d.txtDownloadMessage = boxText(u.txtDownloadMessage);
    d.txtDownloadRequirements = boxText(u.txtDownloadRequirements);
    d.txtDownloadHelp = boxText(u.txtDownloadHelp);
    d.txtOrderNowIncentive = boxText(u.txtOrderNowIncentive);
    d.txtTemplateHeaderImage = boxText(u.txtTemplateHeaderImage);
    d.txtTemplateBackgroundImage = boxText(u.txtTemplateBackgroundImage);
    d.txtFAQQuestion = boxText(u.txtFAQQuestion);
    d.txtFAQAnswer = boxText(u.txtFAQAnswer);
    d.txtFeatureName = boxText(u.txtFeatureName);
    d.txtFeatureDetail = boxText(u.txtFeatureDetail);
    d.txtTestimonialName = boxText(u.txtTestimonialName);
    d.txtTestimonialAdditionalInfo = boxText(u.txtTestimonialAdditionalInfo);
    d.txtTestimonial = boxText(u.txtTestimonial);
    d.txtGeneratedPage = boxText(u.txtGeneratedPage);
    d.lvwFAQ = rowsOf(u.lvwFAQ);
    d.lvwFeatures = rowsOf(u.lvwFeatures);
    d.lvwTestimonial = rowsOf(u.lvwTestimonial);
    return d;
}

} // namespace wizard
