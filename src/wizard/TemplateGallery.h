#pragma once
// The template gallery of the wizard's template step: a picture of each template
// filled with the current answers, rendered off screen with WebEngine and kept until
// the answers, the product image or the template's files change.

#include "generation/PageData.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QListWidget>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class QWebEngineView;

namespace wizard {

// What a picture depends on: the template file, its own files, the answers and the
// product image. Equal keys give equal pictures.
QByteArray GalleryKey(const QString &appFolder, const QString &templateName, const generation::PageData &data,
                      const QString &imagePath);

// Renders and keeps the pictures. Rendering runs in the background (off-screen pages,
// a few at a time); `pictureReady` reports each picture.
class GalleryPictures : public QObject {
    Q_OBJECT
public:
    static constexpr int kPageWidth = 1280;
    static constexpr int kPageHeight = 800;
    static constexpr int kThumbWidth = 240;
    static constexpr int kRenderWidth = 480; // twice the picture, for a sharp picture
    static constexpr int kParallel = 3;      // pages loading at once

    explicit GalleryPictures(QObject *parent = nullptr);
    ~GalleryPictures() override;

    // Starts rendering every template whose picture is missing or out of date.
    // Returns the number of pictures that have to be rendered (0: all from the cache).
    int update(const QString &appFolder, const QStringList &templateNames, const generation::PageData &data,
               const QString &imagePath);
    // The current picture of a template (null while none was rendered).
    QImage picture(const QString &templateName) const { return m_pictures.value(templateName).image; }
    bool busy() const { return !m_jobs.isEmpty(); }

signals:
    void pictureReady(const QString &templateName);
    void finished();

private:
    struct Entry {
        QByteArray key;
        QImage image;
    };
    struct Job {
        QByteArray key;
        QString page;
        std::unique_ptr<QWebEngineView> view; // while its page loads
        int attempts = 0;
    };
    void start(const QString &name, const QString &page, const QByteArray &key);
    void startWaiting();
    void capture(const QString &name);
    void done(const QString &name, const QImage &image);

    QHash<QString, Entry> m_pictures;
    QHash<QString, std::shared_ptr<Job>> m_jobs;
    QStringList m_waiting; // jobs without a view yet, in order
    std::unique_ptr<QTemporaryDir> m_pages;
};

// The gallery itself: one item per template, chosen with a click.
class TemplateGallery : public QListWidget {
    Q_OBJECT
public:
    explicit TemplateGallery(QWidget *parent = nullptr);

    // Where the answers come from when the gallery is shown or refreshed.
    using AnswersSource = std::function<generation::PageData()>;
    using ImageSource = std::function<QString()>;
    void setSources(const QString &appFolder, AnswersSource answers, ImageSource image);

    // Lists the templates (keeping the selection) and brings the pictures up to date.
    void setTemplates(const QStringList &names);
    void refresh();
    // Selects a template's item without reporting it as chosen.
    void showCurrent(const QString &name);

    GalleryPictures &pictures() { return m_pictures; }

signals:
    // The user chose a template with a click (or the keyboard).
    void templateChosen(const QString &name);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void placePicture(const QString &name);

    GalleryPictures m_pictures;
    QString m_appFolder;
    AnswersSource m_answers;
    ImageSource m_image;
    bool m_quiet = false;
};

} // namespace wizard
