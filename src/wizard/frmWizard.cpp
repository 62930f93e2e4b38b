#include "wizard/frmWizard.h"
#include "ui_frmWizard.h"
#include "wizard/ListEditor.h"
#include "wizard/PagePath.h"

#include "check/PageCheck.h"
#include "desktop/OpenURLInNewWindow.h"
#include "editor/frmMain.h"
#include "editor/logic/Branding.h"
#include "generation/AnswerSafety.h"
#include "generation/Fields.h"
#include "generation/FolderLister.h"
#include "generation/PageGuard.h"
#include "generation/ProductFile.h"
#include "generation/TemplateLanguage.h"
#include "generation/Variants.h"
#include "generation/modTemplates.h"
#include "platform/AppFolder.h"
#include "platform/Dialogs.h"
#include "platform/widgets/BrowserView.h"
#include "store/QtForm.h"
#include "store/modReadWriteIni.h"
#include "wizard/FrmAbTest.h"
#include "wizard/TemplateGallery.h"

#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTextDocument>

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
    if (!list)
        return rows;
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

// Beside the editor's own settings, in the user's config folder.
QSettings windowSettings()
{
    return QSettings(editor::branding::kProductName, QStringLiteral("wizard"));
}

} // namespace

const QString frmWizard::kPictureFilter = QStringLiteral(
    "All pictures (*.png;*.jpg;*.jpeg;*.gif;*.svg;*.webp)|*.png;*.jpg;*.jpeg;*.gif;*.svg;*.webp|"
    "GIF Files (*.gif)|*.gif| JPG Files (*.jpg)|*.jpg|All files (*.*)|*.*");

const QString frmWizard::kPromoAddress[3] = {editor::branding::kCompanyPage, editor::branding::kMorePage,
                                             editor::branding::kBrandPage};

QString resolveImagePath(const QString &path)
{
    // A relative path (as in the shipped sample product) means the user's data folder,
    // or else the program's.
    return generation::ResolveProductImage(path, {platform::userDataFolder(), platform::programFolder()});
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
    // Each list's boxes in column order; an empty one stops Add and Update with its message.
    const auto says = [](const char *text) {
        return [message = QString::fromUtf8(text)](const QString &) { return message; };
    };
    m_lists[0] = std::make_unique<ListEditor>(
        ui->lvwFAQ,
        QVector<ListEditor::Box>{{ui->txtFAQQuestion, says("Please enter a question")},
                                 {ui->txtFAQAnswer, says("Please enter an answer")}},
        ListEditor::Buttons{ui->xpcmdFAQAdd, ui->xpcmdFAQUpdate, ui->xpcmdFAQRemove, ui->xpcmdFAQMoveUp,
                            ui->xpcmdFAQMoveDown},
        listIcon(this, 1), this);
    m_lists[1] = std::make_unique<ListEditor>(
        ui->lvwFeatures,
        QVector<ListEditor::Box>{
            {ui->txtFeatureName, says("Please enter a name for the feature")},
            {ui->txtFeatureDetail,
             [](const QString &name) { return QStringLiteral("Please enter the details of ") + name; }}},
        ListEditor::Buttons{ui->xpcmdFeatureAdd, ui->xpcmdFeatureUpdate, ui->xpcmdFeatureRemove,
                            ui->xpcmdFeatureMoveUp, ui->xpcmdFeatureMoveDown},
        listIcon(this, 2), this);
    m_lists[2] = std::make_unique<ListEditor>(
        ui->lvwTestimonial,
        QVector<ListEditor::Box>{
            {ui->txtTestimonialName, says("Please enter the name of the person who has given this feedback")},
            {ui->txtTestimonialAdditionalInfo,
             [](const QString &name) {
                 return QStringLiteral("Please enter some more information about ") + name;
             }},
            {ui->txtTestimonial,
             [](const QString &name) {
                 return QStringLiteral("What does ") + name +
                        QStringLiteral(" have to say about this product.");
             }}},
        ListEditor::Buttons{ui->xpcmdTestimonialAdd, ui->xpcmdTestimonialUpdate, ui->xpcmdTestimonialRemove,
                            ui->xpcmdTestimonialMoveUp, ui->xpcmdTestimonialMoveDown},
        listIcon(this, 3), this);
    ui->Image1->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(ui->Image1, &QLabel::linkActivated, this, &frmWizard::Image1_LinkActivated);
    connect(ui->txtSoftwareName, &QLineEdit::textChanged, this, &frmWizard::setStepCaption);
    connect(ui->xpcmdBrowseProductImage, &QPushButton::clicked, this,
            &frmWizard::xpcmdBrowseProductImage_Click);
    connect(ui->txtProductImage, &QLineEdit::textChanged, this, &frmWizard::txtProductImage_Change);
    connect(ui->xpcmdMoreTemplates, &QPushButton::clicked, this, &frmWizard::xpcmdMoreTemplates_Click);
    connect(ui->xpcmdBrowserPreview, &QPushButton::clicked, this, &frmWizard::xpcmdBrowserPreview_Click);
    connect(cmbTemplates, &QComboBox::currentTextChanged, this, [this] {
        if (pageInFront() == N - 1)
            showMissingAnswers();
        else if (pageInFront() == kPreviewStep && !m_choosingInGallery)
            preview();
    });
    connect(ui->cmdBrowsePagePath, &QPushButton::clicked, this, &frmWizard::cmdBrowsePagePath_Click);
    // Counting choices: the item data is what the product file keeps.
    const std::pair<const char *, const char *> counting[] = {
        {"none", "None: the page contacts no other host"},
        {"plausible", "Plausible (the site's domain)"},
        {"umami", "Umami (the website id)"},
        {"goatcounter", "GoatCounter (the site code)"},
        {"endpoint", "My own endpoint (its address)"}};
    for (const auto &[value, text] : counting)
        ui->cmbCounting->addItem(QString::fromUtf8(text), QString::fromLatin1(value));
    const auto countingAddress = [this] {
        ui->txtCountingAddress->setEnabled(ui->cmbCounting->currentIndex() > 0);
    };
    connect(ui->cmbCounting, &QComboBox::currentIndexChanged, this, countingAddress);
    countingAddress();
    const auto secondVersion = [this] {
        const bool on = ui->chkTryVariantB->isChecked();
        for (QWidget *w : std::initializer_list<QWidget *>{ui->txtOneLinerB, ui->txtButtonTextB,
                                                           ui->txtSpecialPriceB, ui->cmdKeepA, ui->cmdKeepB})
            w->setEnabled(on);
        ui->cmbPreviewVariant->setVisible(on);
    };
    ui->cmbPreviewVariant->addItems({QStringLiteral("Show version A"), QStringLiteral("Show version B")});
    connect(ui->cmbPreviewVariant, &QComboBox::currentIndexChanged, this, [this] {
        if (pageInFront() != kPreviewStep)
            return;
        preview();
        m_gallery->refresh();
    });
    connect(ui->chkTryVariantB, &QCheckBox::toggled, this, secondVersion);
    secondVersion();
    connect(ui->cmdKeepA, &QPushButton::clicked, this, [this] { keepVariant('a'); });
    connect(ui->cmdKeepB, &QPushButton::clicked, this, [this] { keepVariant('b'); });
    connect(ui->lblMissingAnswers, &QLabel::linkActivated, this, &frmWizard::Image1_LinkActivated);
    for (int i = 0; i < 2; ++i)
        connect(xpcmdEditInEditor[i], &QPushButton::clicked, this, [this, i] { xpcmdEditInEditor_Click(i); });
    connect(ui->cmdWhichSells, &QPushButton::clicked, this, [this] { FrmAbTest::showShared(this); });

    setUpGallery();
    setUpHints();

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
    // The lists empty themselves while their window goes; the buttons may already be gone.
    for (auto &list : m_lists)
        list.reset();
    delete ui;
}

void frmWizard::Form_Load()
{
    showStep(0);

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

    fillExistingSoftware();
    ComboAdapter templates(cmbTemplates);
    generation::FillComboFromFolders(platform::templateFolders(), QStringLiteral("templates"),
                                     QStringLiteral(".htm"), templates);
    QStringList names;
    for (int i = 0; i < cmbTemplates->count(); ++i)
        names << cmbTemplates->itemText(i);
    m_gallery->setTemplates(names);
    m_gallery->showCurrent(cmbTemplates->currentText());
    showStep(0);
}

void frmWizard::showWindow(bool modal)
{
    if (!m_restored) {
        m_restored = true;
        QSettings settings = windowSettings();
        restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
        // Reopening (not New, which is modal) resumes where the last run left off.
        const int step = settings.value(QStringLiteral("window/step"), 0).toInt();
        if (!modal && step > 0 && step < N)
            showStep(step);
    }
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

void frmWizard::showLoadPanel()
{
    ClearAll();
    FrameLoadSoftware->setVisible(true);
    showStep(0);
}

void frmWizard::showStep(int step)
{
    if (step < 0 || step >= N)
        return;
    // Caption, page, step list and buttons always tell the same step.
    CurrentStep = qint16(step);
    xpcmdPrevious->setEnabled(step > 0);
    xpcmdNext->setEnabled(step < N - 1);
    if (step == N - 1)
        showMissingAnswers();
    const bool entering = step == kPreviewStep && pageInFront() != kPreviewStep;
    ui->stkWizard->setCurrentWidget(pctWizard[step]);
    // The answers, the picture or the template may have changed anywhere since the last
    // preview: a stale one would show another product's page.
    if (entering)
        preview();
    setStepCaption();
    updateSideBar();
}

void frmWizard::showMissingAnswers()
{
    const QString name = cmbTemplates->currentText();
    const QString templateText =
        name.isEmpty() ? QString() : generation::ReadTextFile(platform::findTemplate(name));
    const QStringList empty = generation::EmptyAnswersUsed(templateText, pageData());
    const auto linkTo = [this](const QString &field) {
        int step = 0;
        for (QWidget *w = findChild<QWidget *>(field); w; w = w->parentWidget()) {
            const auto page = std::find(std::begin(pctWizard), std::end(pctWizard), w);
            if (page != std::end(pctWizard)) {
                step = int(page - std::begin(pctWizard));
                break;
            }
        }
        const generation::Field *known = generation::FindField(field);
        const QString caption = known && !known->caption.isEmpty() ? known->caption : field;
        return QStringLiteral("<li><a href=\"step:%1\">Step %1: %2</a></li>").arg(step + 1).arg(caption);
    };
    // What the page cannot sell without comes first, however late its step.
    QString needed, stronger;
    for (const QString &field : generation::NeededToSell())
        if (empty.contains(field))
            needed += linkTo(field);
    for (const QString &field : empty)
        if (!generation::NeededToSell().contains(field))
            stronger += linkTo(field);
    QString groups;
    if (!needed.isEmpty())
        groups += QStringLiteral("<p><b>Needed to sell</b></p><ul>%1</ul>").arg(needed);
    if (!stronger.isEmpty())
        groups += QStringLiteral("<p><b>Makes the page stronger</b></p><ul>%1</ul>").arg(stronger);
    ui->lblMissingAnswers->setText(
        groups.isEmpty()
            ? QString()
            : QStringLiteral("<p>These answers are empty, and the %1 template uses them. The page leaves "
                             "out what they would fill; you can generate it all the same.</p>%2")
                  .arg(name.toHtmlEscaped(), groups));
    ui->lblMissingAnswers->setVisible(!groups.isEmpty());
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
            i == front ? QStringLiteral("color:#ffffff; font-weight:600") : QStringLiteral("color:#d8e6f2");
        // Each step is a link: a click goes to it.
        html += QStringLiteral("<tr><td align='right' style='%1'>%2</td>"
                               "<td><a href='step:%4' style='%1; text-decoration:none'>%3</a></td></tr>")
                    .arg(style,
                         i == front ? QStringLiteral("&#9656;&nbsp;%1").arg(i + 1) : QString::number(i + 1),
                         QString::fromUtf8(kStepTitles[i]))
                    .arg(i + 1);
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

bool frmWizard::leavingStepAllowed()
{
    const generation::PageData d = pageData();
    for (const QString &field : generation::UnsafeLinkAnswers(d)) {
        QWidget *box = findChild<QWidget *>(field);
        if (!box || !pctWizard[CurrentStep]->isAncestorOf(box))
            continue;
        platform::msgBox(generation::UnsafeLinkMessage(field, d), this);
        box->setFocus();
        return false;
    }
    return true;
}

void frmWizard::xpcmdNext_Click()
{
    if (leavingStepAllowed())
        showStep(CurrentStep > N - 2 ? 0 : CurrentStep + 1);
}

void frmWizard::xpcmdPrevious_Click()
{
    if (leavingStepAllowed())
        showStep(CurrentStep > 0 ? CurrentStep - 1 : N - 1);
}

void frmWizard::Image1_LinkActivated(const QString &link)
{
    // "step:<number>", numbered from 1 as the list shows them.
    if (link.startsWith(QLatin1String("step:")) && leavingStepAllowed())
        showStep(link.mid(5).toInt() - 1);
}

void frmWizard::xpcmdClose_Click()
{
    // The step the user was on, not the first step that Close brings back.
    rememberWindow();
    m_closing = true;
    showStep(0);
    close();
    m_closing = false;
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
    if (!m_closing)
        rememberWindow();
    if (!event->spontaneous())
        emit hidden();
}

void frmWizard::rememberWindow()
{
    QSettings settings = windowSettings();
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/step"), int(CurrentStep));
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
    generation::FillComboFromFolder(platform::userDataFolder(), QStringLiteral("sites"),
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
    const QString appFolder = platform::userDataFolder();
    QDir().mkpath(appFolder + QStringLiteral("/sites"));
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
    const QString appFolder = platform::userDataFolder();
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
    // The load panel lives on step 1; the caption names the loaded product there.
    showStep(0);
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
    // The caption must not name the product that was just cleared away.
    setStepCaption();
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
    request.filter = kPictureFilter;
    const QString chosen = platform::dialogs().openFile(request, this);
    if (chosen.isEmpty())
        return;
    // Said now rather than when the page is generated; the earlier choice stays.
    if (const QString problem = generation::ProductPictureProblem(chosen, platform::userDataFolder());
        !problem.isEmpty()) {
        platform::msgBox(problem, this);
        return;
    }
    ui->txtProductImage->setText(chosen);
}

QString frmWizard::previewPath() const
{
    return platform::previewPage();
}

bool frmWizard::generate(QString path)
{
    QString templateName = cmbTemplates->currentText();
    QString image = resolveImagePath(ui->txtProductImage->text());
    const generation::PageData data = pageData();
    const bool written = generation::GenerateTemplateBasedPage(
        platform::templateFolders(), platform::userDataFolder(), templateName, path, image, data);
    // A tag that is no element vanishes from the page: say so for the page itself, not
    // for every preview.
    if (written && path != previewPath()) {
        const QStringList lost = generation::UnknownElementWarnings(data);
        if (!lost.isEmpty())
            platform::msgBox(lost.join(QLatin1Char('\n')), this);
    }
    return written;
}

void frmWizard::preview()
{
    const QString path = previewPath();
    // Without a template there is nothing to show, and nothing to say either.
    if (cmbTemplates->currentText().isEmpty())
        return;
    // An old preview must not stand in for one that could not be made.
    QFile::remove(path);
    generate(path);
    // A page with two versions is shown as the chosen version's visitors see it.
    if (ui->chkTryVariantB->isChecked() && QFileInfo(path).isFile()) {
        const char which = ui->cmbPreviewVariant->currentIndex() == 1 ? 'b' : 'a';
        WebBrowser1->showHtml(generation::ShowVariant(generation::ReadTextFile(path), which), path);
        return;
    }
    WebBrowser1->Navigate(QFileInfo(path).isFile() ? path : QStringLiteral("about:blank"));
}

void frmWizard::setUpHints()
{
    // Examples and help come from the table of answers; a box's own text in the form wins.
    for (const generation::Field &field : generation::Fields()) {
        QWidget *box = findChild<QWidget *>(field.name);
        if (!box)
            continue;
        if (box->toolTip().isEmpty())
            box->setToolTip(field.help);
        if (auto *line = qobject_cast<QLineEdit *>(box); line && line->placeholderText().isEmpty())
            line->setPlaceholderText(field.example);
        else if (auto *text = qobject_cast<QPlainTextEdit *>(box); text && text->placeholderText().isEmpty())
            text->setPlaceholderText(field.example);
    }
    // What search results show of the title and the description, counted as it is typed.
    const auto count = [](QLineEdit *box, QLabel *label, int limit) {
        const auto show = [box, label, limit] {
            const int length = int(box->text().size());
            label->setText(QStringLiteral("%1 / %2").arg(length).arg(limit));
            label->setStyleSheet(length > limit ? QStringLiteral("color: #b00020; font-weight: 600")
                                                : QStringLiteral("color: #5b6573"));
        };
        QObject::connect(box, &QLineEdit::textChanged, label, show);
        show();
    };
    count(ui->txtSoftwareName, ui->lblSoftwareNameCount, check::kMaxTitleLength);
    count(ui->txtOneLiner, ui->lblOneLinerCount, check::kMaxDescriptionLength);
}

void frmWizard::setUpGallery()
{
    m_gallery = new TemplateGallery(ui->pctWizard_8);
    ui->qvboxlayout_81->insertWidget(ui->qvboxlayout_81->indexOf(WebBrowser1), m_gallery);
    m_gallery->setSources(
        platform::applicationFolder(),
        [this] {
            // The pictures show the version the preview shows.
            generation::PageData d = pageData();
            if (generation::TriesVariantB(d))
                generation::KeepVariant(d, ui->cmbPreviewVariant->currentIndex() == 1 ? 'b' : 'a');
            return d;
        },
        [this] { return resolveImagePath(ui->txtProductImage->text()); });
    connect(m_gallery, &TemplateGallery::templateChosen, this, &frmWizard::galleryTemplateChosen);
    connect(cmbTemplates, &QComboBox::currentTextChanged, m_gallery, &TemplateGallery::showCurrent);
}

void frmWizard::galleryTemplateChosen(const QString &name)
{
    const int index = cmbTemplates->findText(name);
    if (index < 0)
        return;
    m_choosingInGallery = true;
    cmbTemplates->setCurrentIndex(index);
    m_choosingInGallery = false;
    // A new template starts at its top, not where the last preview was scrolled to.
    connect(
        WebBrowser1, &QWebEngineView::loadFinished, this,
        [this] { WebBrowser1->page()->runJavaScript(QStringLiteral("window.scrollTo(0, 0)")); },
        Qt::SingleShotConnection);
    preview();
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
    // A path of spaces is no path; a typed path of no page yet is the Save dialog's
    // suggestion. Either stays in its box until the dialog gives another.
    if (trimSpaces(page->text()).isEmpty() || !QFileInfo(page->text()).isFile()) {
        // The Save dialog asks itself before it replaces a file.
        if (!askPagePath(trimSpaces(page->text()).isEmpty() ? QString() : page->text()))
            return;
    } else {
        editor::frmMain *main = editor::frmMain::instance();
        const bool unsavedEdits = main && !main->currentFile().isEmpty() &&
                                  QFileInfo(main->currentFile()) == QFileInfo(page->text()) &&
                                  main->hasUnsavedChanges();
        switch (generation::AskBeforeOverwriting(page->text(), unsavedEdits, this)) {
        case generation::OverwriteChoice::Cancel:
            return;
        case generation::OverwriteChoice::SaveElsewhere:
            // The editor's edits belong to the page that stays: they are saved there
            // before the new page takes the editor's place.
            if (unsavedEdits)
                main->save();
            if (!askPagePath(FreePagePathBeside(page->text())))
                return;
            break;
        case generation::OverwriteChoice::Overwrite:
            break;
        }
    }

    const QString path = page->text();
    // Generation explains itself when it refuses (no template, unwritable folder).
    if (!generate(path) || !QFileInfo(path).isFile())
        return;
    if (!handOff(path))
        return;
    close();
}

void frmWizard::keepVariant(char which)
{
    generation::PageData data = pageData();
    if (!generation::TriesVariantB(data))
        return;
    generation::KeepVariant(data, which);
    for (const generation::Field &field : generation::Fields()) {
        static const QStringList kept = {QStringLiteral("txtOneLiner"),     QStringLiteral("txtButtonText"),
                                         QStringLiteral("txtSpecialPrice"), QStringLiteral("chkTryVariantB"),
                                         QStringLiteral("txtOneLinerB"),    QStringLiteral("txtButtonTextB"),
                                         QStringLiteral("txtSpecialPriceB")};
        if (kept.contains(field.name))
            setBoxText(findChild<QWidget *>(field.name), data.*field.text);
    }
    if (!trimSpaces(ui->txtSoftwareName->text()).isEmpty())
        xpcmdSave_Click();
    // The published page must lose the test too; a page edited since is left to the user,
    // who regenerates it when ready.
    const QString page = ui->txtGeneratedPage->text();
    if (!trimSpaces(page).isEmpty() && QFileInfo(page).isFile() && !cmbTemplates->currentText().isEmpty() &&
        generation::RiskOfOverwriting(page, false) == generation::OverwriteRisk::None)
        generate(page);
}

void frmWizard::cmdBrowsePagePath_Click()
{
    askPagePath(ui->txtGeneratedPage->text());
}

bool frmWizard::askPagePath(const QString &suggestion)
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const platform::FileRequest request =
        SuggestedPageRequest(suggestion, ui->txtSoftwareName->text(), documents);
    const QString chosen = platform::dialogs().saveFile(request, this);
    if (chosen.isEmpty())
        return false;
    ui->txtGeneratedPage->setText(chosen);
    // Remember the new path with the product at once, so it regenerates into the
    // same file even if the user never saves again.
    if (!trimSpaces(ui->txtSoftwareName->text()).isEmpty())
        xpcmdSave_Click();
    return true;
}

bool frmWizard::handOff(const QString &path)
{
    editor::frmMain *main = editor::frmMain::instance();
    return main && main->openPage(path);
}

void frmWizard::offerPageAddress(const QString &address)
{
    if (ui->txtPageURL->text().trimmed().isEmpty())
        ui->txtPageURL->setText(address);
}

generation::PageData frmWizard::pageData() const
{
    generation::PageData d;
    for (const generation::Field &field : generation::Fields()) {
        if (field.kind == generation::FieldKind::List)
            d.*field.rows = rowsOf(findChild<QTreeWidget *>(field.name));
        else
            d.*field.text = boxText(findChild<QWidget *>(field.name));
    }
    d.txtProductImage = resolveImagePath(d.txtProductImage);
    return d;
}

} // namespace wizard
