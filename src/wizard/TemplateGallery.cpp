#include "wizard/TemplateGallery.h"

#include "platform/AppFolder.h"

#include "generation/AnswerSafety.h"
#include "generation/Fields.h"
#include "generation/modTemplates.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace wizard {
namespace {

void addText(QCryptographicHash &hash, const QString &text)
{
    hash.addData(text.toUtf8());
    hash.addData(QByteArrayView("\x1f", 1));
}

void addFile(QCryptographicHash &hash, const QFileInfo &file)
{
    addText(hash, file.fileName());
    addText(hash, QString::number(file.size()));
    addText(hash, QString::number(file.lastModified().toMSecsSinceEpoch()));
}

// A picture taken before the first paint is a single colour; a page is not.
bool looksPainted(const QImage &image)
{
    if (image.isNull())
        return false;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += image.height() / 16 + 1)
        for (int x = 0; x < image.width(); x += image.width() / 16 + 1)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}

// The user's own templates before the shipped ones when the folder is the user's data
// folder; otherwise (a folder of its own) only its templates.
QStringList templateFoldersFor(const QString &appFolder)
{
    if (QFileInfo(appFolder) == QFileInfo(platform::userDataFolder()))
        return platform::templateFolders();
    return {appFolder + QStringLiteral("/templates")};
}

// The chosen template is framed: a selection tint over its picture would change the
// very colours the vendor is judging (a dark template looked teal).
class FramedSelection : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int kFrame = 3;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem plain(option);
        plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver);
        QStyledItemDelegate::paint(painter, plain, index);
        if (!(option.state & QStyle::State_Selected))
            return;
        painter->save();
        painter->setPen(QPen(option.palette.color(QPalette::Highlight), kFrame));
        painter->setBrush(Qt::NoBrush);
        const qreal half = kFrame / 2.0;
        painter->drawRect(QRectF(option.rect).adjusted(half, half, -half, -half));
        painter->restore();
    }
};

} // namespace

QByteArray GalleryKey(const QString &appFolder, const QString &templateName, const generation::PageData &d,
                      const QString &imagePath)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    // The template that wins (a user's own before a shipped one of the same name).
    QString found;
    for (const QString &folder : templateFoldersFor(appFolder)) {
        const QString candidate = folder + QLatin1Char('/') + templateName + QStringLiteral(".htm");
        if (QFileInfo(candidate).isFile()) {
            found = candidate;
            break;
        }
    }
    const QDir templates = QFileInfo(found).dir();
    QFile file(found);
    if (file.open(QIODevice::ReadOnly))
        hash.addData(file.readAll());
    // The template's own files (style sheet, drawings) by name, size and time.
    for (const QFileInfo &own : templates.entryInfoList({templateName + QStringLiteral("_*")}, QDir::Files,
                                                        QDir::Name | QDir::IgnoreCase))
        addFile(hash, own);
    // Every answer a page can show.
    for (const generation::Field &field : generation::Fields()) {
        if (field.placeholders.isEmpty())
            continue;
        if (field.kind == generation::FieldKind::Text) {
            addText(hash, d.*field.text);
            continue;
        }
        const QVector<generation::ListRow> &rows = d.*field.rows;
        addText(hash, QString::number(rows.size()));
        for (const generation::ListRow &row : rows) {
            addText(hash, row.text);
            for (const QString &sub : row.subItems)
                addText(hash, sub);
        }
    }
    addText(hash, imagePath);
    if (!imagePath.isEmpty())
        addFile(hash, QFileInfo(imagePath));
    return hash.result();
}

// --- GalleryPictures ---

GalleryPictures::GalleryPictures(QObject *parent) : QObject(parent) {}

GalleryPictures::~GalleryPictures() = default;

int GalleryPictures::update(const QString &appFolder, const QStringList &templateNames,
                            const generation::PageData &data, const QString &imagePath)
{
    if (!m_pages || !m_pages->isValid())
        m_pages = std::make_unique<QTemporaryDir>();
    int started = 0;
    for (const QString &name : templateNames) {
        const QByteArray key = GalleryKey(appFolder, name, data, imagePath);
        if (m_pictures.value(name).key == key && !m_pictures.value(name).image.isNull())
            continue;
        const auto running = m_jobs.constFind(name);
        if (running != m_jobs.constEnd() && (*running)->key == key) {
            ++started;
            continue;
        }
        // Each template gets a folder of its own: its files are copied beside the page.
        const QString folder = m_pages->filePath(QString::number(qHash(name), 16));
        QDir().mkpath(folder);
        QString templateName = name;
        QString page = folder + QStringLiteral("/gallery.htm");
        // A picture only: what generation would refuse is left out here and told when
        // the page itself is made, not once per template.
        QString image =
            generation::ProductPictureProblem(imagePath, appFolder).isEmpty() ? imagePath : QString();
        if (!generation::GenerateTemplateBasedPage(templateFoldersFor(appFolder), appFolder, templateName,
                                                   page, image, generation::WithoutUnsafeLinks(data)))
            continue;
        start(name, page, key);
        ++started;
    }
    if (started == 0)
        QTimer::singleShot(0, this, &GalleryPictures::finished);
    return started;
}

void GalleryPictures::start(const QString &name, const QString &page, const QByteArray &key)
{
    auto job = std::make_shared<Job>();
    job->key = key;
    job->page = page;
    m_jobs.insert(name, job); // replaces (and so stops) an older job for the same template
    m_waiting.removeAll(name);
    m_waiting << name;
    startWaiting();
}

// The pages share one renderer: a few at a time finish sooner than all at once.
void GalleryPictures::startWaiting()
{
    int running = 0;
    for (const auto &job : std::as_const(m_jobs))
        running += job->view ? 1 : 0;
    while (running < kParallel && !m_waiting.isEmpty()) {
        const QString name = m_waiting.takeFirst();
        const auto job = m_jobs.value(name);
        if (!job || job->view)
            continue;
        job->view = std::make_unique<QWebEngineView>();
        QWebEngineView *view = job->view.get();
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
        view->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        // The page is laid out at desktop width but painted at picture size: a zoomed-out
        // view paints a sixth of the pixels.
        view->resize(kRenderWidth, kPageHeight * kRenderWidth / kPageWidth);
        view->setZoomFactor(qreal(kRenderWidth) / kPageWidth);
        connect(view, &QWebEngineView::loadFinished, this, [this, name, view](bool) {
            const auto it = m_jobs.constFind(name);
            if (it != m_jobs.constEnd() && (*it)->view.get() == view)
                QTimer::singleShot(30, this, [this, name] { capture(name); });
        });
        view->load(QUrl::fromLocalFile(job->page));
        // Only after load(): the page's renderer re-creates the view's window as it
        // attaches, and on X11 a window re-created after show() appears on screen for
        // the whole render although the view is marked as never shown.
        view->show();
        ++running;
    }
}

void GalleryPictures::capture(const QString &name)
{
    const auto it = m_jobs.constFind(name);
    if (it == m_jobs.constEnd() || !(*it)->view)
        return;
    Job &job = **it;
    const QImage shot = job.view->grab().toImage();
    // The first frame may not be painted yet; a page that never paints gets a plain picture.
    if (!looksPainted(shot) && ++job.attempts < 100) {
        QTimer::singleShot(30, this, [this, name] { capture(name); });
        return;
    }
    m_pictures.insert(name, {job.key, shot.scaledToWidth(kThumbWidth, Qt::SmoothTransformation)});
    done(name, shot);
}

void GalleryPictures::done(const QString &name, const QImage &)
{
    // The view is deleted once its own signal handlers have returned.
    if (auto job = m_jobs.take(name))
        job->view.release()->deleteLater();
    startWaiting();
    emit pictureReady(name);
    if (m_jobs.isEmpty())
        emit finished();
}

// --- TemplateGallery ---

TemplateGallery::TemplateGallery(QWidget *parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("lstTemplateGallery"));
    setViewMode(QListView::IconMode);
    setFlow(QListView::LeftToRight);
    setWrapping(false);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    const int thumbHeight =
        GalleryPictures::kThumbWidth * GalleryPictures::kPageHeight / GalleryPictures::kPageWidth;
    setIconSize(QSize(GalleryPictures::kThumbWidth, thumbHeight));
    setSpacing(6);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFixedHeight(thumbHeight + fontMetrics().height() + 44);
    setAccessibleName(QStringLiteral("Templates"));
    setItemDelegate(new FramedSelection(this));

    connect(&m_pictures, &GalleryPictures::pictureReady, this, &TemplateGallery::placePicture);
    // A click, or the keyboard, chooses; showCurrent() selects quietly.
    connect(this, &QListWidget::currentItemChanged, this, [this](QListWidgetItem *item) {
        if (item && !m_quiet)
            emit templateChosen(item->text());
    });
}

void TemplateGallery::setSources(const QString &appFolder, AnswersSource answers, ImageSource image)
{
    m_appFolder = appFolder;
    m_answers = std::move(answers);
    m_image = std::move(image);
}

void TemplateGallery::setTemplates(const QStringList &names)
{
    const QString current = currentItem() ? currentItem()->text() : QString();
    m_quiet = true;
    clear();
    QPixmap blank(iconSize());
    blank.fill(palette().color(QPalette::Mid));
    for (const QString &name : names) {
        auto *item = new QListWidgetItem(QIcon(blank), name, this);
        item->setToolTip(name);
        item->setTextAlignment(Qt::AlignHCenter);
    }
    m_quiet = false;
    showCurrent(current);
    for (const QString &name : names)
        placePicture(name);
}

void TemplateGallery::refresh()
{
    if (!m_answers || m_appFolder.isEmpty())
        return;
    QStringList names;
    for (int i = 0; i < count(); ++i)
        names << item(i)->text();
    m_pictures.update(m_appFolder, names, m_answers(), m_image ? m_image() : QString());
}

void TemplateGallery::showCurrent(const QString &name)
{
    m_quiet = true;
    const auto found = findItems(name, Qt::MatchExactly);
    setCurrentItem(found.isEmpty() ? nullptr : found.first());
    if (!found.isEmpty())
        scrollToItem(found.first());
    m_quiet = false;
}

void TemplateGallery::showEvent(QShowEvent *event)
{
    QListWidget::showEvent(event);
    // The answers may have changed on the other steps since the last visit.
    refresh();
}

void TemplateGallery::placePicture(const QString &name)
{
    const QImage image = m_pictures.picture(name);
    if (image.isNull())
        return;
    for (QListWidgetItem *item : findItems(name, Qt::MatchExactly)) {
        QPixmap framed(iconSize());
        framed.fill(Qt::white);
        QPainter painter(&framed);
        painter.drawImage(QPoint(0, 0), image);
        item->setIcon(QIcon(framed));
    }
}

} // namespace wizard
