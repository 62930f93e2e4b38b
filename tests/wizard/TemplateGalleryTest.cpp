// The wizard's template choice: the gallery's pictures of every shipped template, kept
// until the answers or a template change, a click that chooses and previews; and the
// last step listing the empty answers the chosen template uses, each linked to its step.
#include "wizard/TemplateGallery.h"
#include "wizard/frmWizard.h"

#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "platform/AppFolder.h"
#include "platform/widgets/BrowserView.h"

#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>

using wizard::frmWizard;
using wizard::GalleryPictures;

namespace {

QString copyTemplates(const QTemporaryDir &dir)
{
    const QString to = dir.path() + "/templates";
    QDir().mkpath(to);
    const QDir from(testing_support::sourceDir() + "/templates");
    for (const QString &name : from.entryList(QDir::Files))
        QFile::copy(from.filePath(name), to + "/" + name);
    return dir.path();
}

bool waitUntilIdle(GalleryPictures &pictures)
{
    return testing_support::waitFor([&] { return !pictures.busy(); }, 60000);
}

} // namespace

TEST(TemplateGallery, PicturesAreRenderedOnceUntilAnAnswerOrATemplateChanges)
{
    testing_support::RecordingDialogs dialogs;
    QTemporaryDir dir;
    const QString app = copyTemplates(dir);
    const QStringList names =
        QDir(app + "/templates").entryList({"*.htm"}, QDir::Files).replaceInStrings(".htm", "");
    ASSERT_EQ(names.size(), 6);
    GalleryPictures pictures;
    QStringList ready;
    QObject::connect(&pictures, &GalleryPictures::pictureReady, [&](const QString &name) { ready << name; });

    generation::PageData data;
    data.txtSoftwareName = "Galleon";
    data.txtOneLiner = "Charts for people who sail";
    data.txtPurchaseURL = "<a href=\"https://galleon.example/buy\">Buy</a>";
    data.lvwFeatures = {{"Tides", {"Every port, a year ahead."}}};
    // Rendering happens off screen: no window may show while it runs.
    int visibleWindows = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (const QWindow *window : QGuiApplication::allWindows())
            visibleWindows += window->isVisible() ? 1 : 0;
    });
    watch.start(5);
    EXPECT_EQ(pictures.update(app, names, data, QString()), 6);
    ASSERT_TRUE(waitUntilIdle(pictures));
    watch.stop();
    EXPECT_EQ(visibleWindows, 0);
    EXPECT_EQ(QSet<QString>(ready.begin(), ready.end()), QSet<QString>(names.begin(), names.end()));
    for (const QString &name : names) {
        const QImage picture = pictures.picture(name);
        ASSERT_FALSE(picture.isNull()) << name.toStdString();
        EXPECT_EQ(picture.width(), GalleryPictures::kThumbWidth);
        // The dark templates are dark at the top, the light ones light.
        const int grey = qGray(picture.pixel(picture.width() / 2, picture.height() / 3));
        EXPECT_EQ(grey < 80, name == "Midnight" || name == "Ember") << name.toStdString() << " " << grey;
    }

    // Nothing changed: every picture comes from the cache.
    EXPECT_EQ(pictures.update(app, names, data, QString()), 0);
    // One template's style sheet changed: only that picture is rendered again.
    QFile css(app + "/templates/Handbook_style.css");
    ASSERT_TRUE(css.open(QIODevice::Append));
    css.write("\n.doc { padding-top: 41px; }\n");
    css.close();
    EXPECT_EQ(pictures.update(app, names, data, QString()), 1);
    ASSERT_TRUE(waitUntilIdle(pictures));
    // An answer changed, a list's detail too: every picture (rendering stops with the object).
    data.txtOneLiner += " and fish";
    EXPECT_EQ(pictures.update(app, names, data, QString()), 6);
    ASSERT_TRUE(waitUntilIdle(pictures));
    data.lvwFeatures[0].subItems[0] = "Every port, two years ahead.";
    EXPECT_EQ(pictures.update(app, names, data, QString()), 6);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST(TemplateGallery, AClickChoosesTheTemplateAndPreviewsItAndTheComboKeepsInStep)
{
    testing_support::RecordingDialogs dialogs;
    QTemporaryDir dir;
    const QString app = copyTemplates(dir);
    platform::setApplicationFolder(app);
    frmWizard &w = frmWizard::instance();
    auto *gallery = w.findChild<wizard::TemplateGallery *>("lstTemplateGallery");
    ASSERT_NE(gallery, nullptr);
    ASSERT_EQ(gallery->count(), w.cmbTemplates->count());
    w.findChild<QLineEdit *>("txtSoftwareName")->setText("Galleon");

    // A click on a picture: the combo follows and the preview is of that template.
    const QString preview = platform::previewPage();
    QListWidgetItem *ember = gallery->findItems("Ember", Qt::MatchExactly).value(0);
    ASSERT_NE(ember, nullptr);
    gallery->setCurrentItem(ember);
    EXPECT_EQ(w.cmbTemplates->currentText(), "Ember");
    EXPECT_TRUE(testing_support::readAll(preview).contains("Ember_style.css"));
    // The choice is framed, its picture shown as it is (no tint over it).
    gallery->resize(900, gallery->height());
    const QImage shown = gallery->viewport()->grab().toImage();
    const QRect cell = gallery->visualItemRect(ember);
    const QRgb blank = gallery->palette().color(QPalette::Mid).rgb();
    EXPECT_EQ(shown.pixel(cell.center().x(), cell.top() + 20), blank);
    EXPECT_EQ(shown.pixel(cell.left() + 1, cell.center().y()),
              gallery->palette().color(QPalette::Highlight).rgb());

    // Choosing in the combo selects the picture and previews nothing by itself.
    QFile::remove(preview);
    w.cmbTemplates->setCurrentIndex(w.cmbTemplates->findText("Letterpress"));
    EXPECT_EQ(gallery->currentItem()->text(), "Letterpress");
    EXPECT_FALSE(QFileInfo::exists(preview));

    // Shown, the gallery gets every template's picture in place of its blank tile.
    w.showWindow(false);
    w.showStep(frmWizard::kPreviewStep);
    EXPECT_TRUE(testing_support::waitFor(
        [&] {
            for (int i = 0; i < gallery->count(); ++i) {
                const QImage tile = gallery->item(i)->icon().pixmap(gallery->iconSize()).toImage();
                if (tile.pixel(tile.width() / 2, tile.height() / 4) == blank)
                    return false;
            }
            return true;
        },
        60000));
    frmWizard::destroyInstance();
}

TEST(WizardCompleteness, LastStepLinksTheEmptyAnswersTheTemplateUses)
{
    QTemporaryDir app;
    ASSERT_TRUE(QDir().mkpath(app.filePath("templates")));
    ASSERT_TRUE(testing_support::writeAll(
        app.filePath("templates/Aaa.htm"),
        "<h1><ZOR_PAGE_DATA_SOFTWARENAME></h1><ZOR_IF_PAGE_DATA_MRPRICE>was "
        "<ZOR_PAGE_DATA_MRPRICE></ZOR_IF_PAGE_DATA_MRPRICE>"
        "<ZOR_PAGE_DATA_FAQ><ZOR_PAGE_DATA_FAQ_QUESTION></ZOR_PAGE_DATA_FAQ>"
        "<ZOR_PAGE_DATA_KEYWORD><ZOR_PAGE_DATA_ORDER_URL><ZOR_PAGE_DATA_ONELINER>"));
    ASSERT_TRUE(testing_support::writeAll(app.filePath("templates/Bbb.htm"),
                                          "<h1><ZOR_PAGE_DATA_SOFTWARENAME></h1>"));
    platform::setApplicationFolder(app.path());
    testing_support::RecordingDialogs dialogs;
    frmWizard &w = frmWizard::instance();
    auto *label = w.findChild<QLabel *>("lblMissingAnswers");
    ASSERT_NE(label, nullptr);
    w.cmbTemplates->setCurrentText("Aaa");
    w.findChild<QLineEdit *>("txtSoftwareName")->setText("Tool");

    for (int i = 0; i < frmWizard::N - 1; ++i)
        w.xpcmdNext_Click();
    ASSERT_EQ(w.pageInFront(), frmWizard::N - 1);
    EXPECT_FALSE(label->isHidden());
    const QString text = label->text();
    EXPECT_TRUE(text.contains("the Aaa template")) << text.toStdString();
    // What selling needs first (order link, price, pitch), then the rest in step order.
    const QRegularExpression order("Needed to sell.*\"step:8\">Step 8: Purchase link<.*Regular price<.*"
                                   "One-line catch phrase<.*Makes the page stronger.*Keywords<.*"
                                   "\"step:4\">Step 4: Questions and answers<",
                                   QRegularExpression::DotMatchesEverythingOption);
    EXPECT_TRUE(order.match(text).hasMatch()) << text.toStdString();
    EXPECT_EQ(text.count("<a href"), 5);
    EXPECT_FALSE(text.contains("Name of the software"));

    // A template that uses only answers given: nothing to list; generating stays possible.
    w.cmbTemplates->setCurrentText("Bbb");
    EXPECT_TRUE(label->isHidden());
    EXPECT_TRUE(w.xpcmdEditInEditor[1]->isEnabled());

    // A link leads to its step (what else a step link does: the wizard windows' test).
    emit label->linkActivated("step:8"); // the href of "Step 8" above
    EXPECT_EQ(w.pageInFront(), 7);
    frmWizard::destroyInstance();
}
