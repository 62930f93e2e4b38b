// The wizard and the open-file dialog with the real views (offscreen WebEngine),
// the real store, generation and main window.
#include "wizard/WizardPeer.h"
#include "wizard/frmLoadFile.h"
#include "wizard/frmWizard.h"

#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "desktop/OpenURLInNewWindow.h"
#include "editor/frmMain.h"
#include "platform/AppFolder.h"
#include "platform/widgets/BrowserView.h"
#include "platform/widgets/DesignView.h"
#include "platform/widgets/SourceView.h"
#include "store/QtForm.h"

#include <QTest>
#include <QtWidgets>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>

using testing_support::RecordingDialogs;
using wizard::frmWizard;

namespace {

void copyFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QString &name : QDir(from).entryList(QDir::Files))
        QFile::copy(from + "/" + name, to + "/" + name);
}

std::map<QString, QString> textBoxes(frmWizard &w)
{
    std::map<QString, QString> result;
    store::QtForm form(&w);
    for (const store::Control &c : form.controls())
        if (c.textBox)
            result[c.name] = c.textBox->text();
    return result;
}

QList<QStringList> rows(const QTreeWidget *list)
{
    QList<QStringList> result;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QStringList row;
        for (int c = 0; c < list->columnCount(); ++c)
            row << list->topLevelItem(i)->text(c);
        result << row;
    }
    return result;
}

bool waitForUrl(QWebEngineView *view, const QUrl &url)
{
    return QTest::qWaitFor([&] { return view->url() == url; }, 15000);
}

class WizardWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        copyFolder(testing_support::sourceDir() + "/templates", s_dir->path() + "/templates");
        copyFolder(testing_support::sourceDir() + "/sites", s_dir->path() + "/sites");
        platform::setApplicationFolder(s_dir->path());
        s_main = new editor::frmMain;
        s_main->setWizardPeer(&wizard::peer());
        desktop::setUrlOpener([](const QUrl &url) {
            s_opened << url;
            return true;
        });
    }
    static void TearDownTestSuite()
    {
        frmWizard::destroyInstance();
        delete s_main;
        desktop::setUrlOpener({});
        s_dir.reset();
    }
    void SetUp() override
    {
        w().ClearAll();
        s_opened.clear();
    }

    static frmWizard &w() { return frmWizard::instance(); }
    // The controls by their names (the names are the data file's keys).
    template <class T> static T *named(const char *name)
    {
        T *control = w().findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    static auto le(const char *name) { return named<QLineEdit>(name); }
    static auto pe(const char *name) { return named<QPlainTextEdit>(name); }
    static auto lv(const char *name) { return named<QTreeWidget>(name); }
    static auto cb(const char *name) { return named<QComboBox>(name); }
    static QString app() { return s_dir->path(); }
    static QList<QList<QStringList>> allRows()
    {
        return {rows(lv("lvwFAQ")), rows(lv("lvwFeatures")), rows(lv("lvwTestimonial"))};
    }

    RecordingDialogs dialogs;
    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline editor::frmMain *s_main = nullptr;
    static inline QList<QUrl> s_opened;
};

TEST_F(WizardWindows, NavigationWrapsAndEnablesAtTheEnds)
{
    w().showWindow(false);
    ASSERT_EQ(w().windowTitle(), "Wizard");
    ASSERT_TRUE(w().xpcmdPrevious->isEnabled());

    w().xpcmdPrevious_Click(); // from step 1 to step 10
    EXPECT_EQ(w().CurrentStep, 9);
    EXPECT_EQ(w().pageInFront(), 9);
    EXPECT_TRUE(w().xpcmdNext->isEnabled());
    EXPECT_EQ(w().windowTitle(), "Wizard :: Step 10 of 10 for ");

    w().xpcmdNext_Click(); // wraps to step 1; nothing gets disabled
    EXPECT_EQ(w().CurrentStep, 0);
    EXPECT_TRUE(w().xpcmdPrevious->isEnabled());

    le("txtSoftwareName")->setText("Tally");
    for (int i = 0; i < 9; ++i)
        QTest::mouseClick(w().xpcmdNext, Qt::LeftButton);
    EXPECT_EQ(w().CurrentStep, 9);
    EXPECT_FALSE(w().xpcmdNext->isEnabled());
    w().xpcmdPrevious_Click();
    EXPECT_EQ(w().CurrentStep, 8);
    EXPECT_TRUE(w().xpcmdNext->isEnabled());
    EXPECT_EQ(w().windowTitle(), "Wizard :: Step 9 of 10 for Tally");

    // Closing (button or close box) only hides: answers, rows and the step stay.
    lv("lvwFAQ")->addTopLevelItem(new QTreeWidgetItem(QStringList{"Q", "A"}));
    w().xpcmdClose_Click();
    EXPECT_FALSE(w().isVisible());
    EXPECT_EQ(w().pageInFront(), 0);
    EXPECT_EQ(w().CurrentStep, 8);
    w().showWindow(false);
    w().close();
    EXPECT_FALSE(w().isVisible());
    wizard::peer().unloadWizard();
    ASSERT_EQ(frmWizard::existing(), &w());
    EXPECT_EQ(le("txtSoftwareName")->text(), "Tally");
    EXPECT_EQ(lv("lvwFAQ")->topLevelItemCount(), 1);
}

TEST_F(WizardWindows, ListEditorsCheckTheirBoxesInOrder)
{
    w().showWindow(false);
    w().bringToFront(3);
    le("txtFAQQuestion")->setText("   ");
    pe("txtFAQAnswer")->setPlainText("Yes");
    w().xpcmdFAQAdd_Click();
    EXPECT_EQ(dialogs.lastMessage(), "Please enter a question");
    EXPECT_EQ(w().focusWidget(), le("txtFAQQuestion"));
    EXPECT_EQ(lv("lvwFAQ")->topLevelItemCount(), 0);
    EXPECT_EQ(le("txtFAQQuestion")->text(), "   ");

    le("txtFAQQuestion")->setText("  Does it run offline?");
    pe("txtFAQAnswer")->setPlainText(" ");
    w().xpcmdFAQAdd_Click();
    EXPECT_EQ(dialogs.lastMessage(), "Please enter an answer");
    EXPECT_EQ(w().focusWidget(), pe("txtFAQAnswer"));

    // A line break is not blank; texts go in untrimmed, line ends as CR LF.
    pe("txtFAQAnswer")->setPlainText("\nYes, always. ");
    w().xpcmdFAQAdd_Click();
    EXPECT_EQ(rows(lv("lvwFAQ")), (QList<QStringList>{{"  Does it run offline?", "\r\nYes, always. "}}));
    EXPECT_TRUE(le("txtFAQQuestion")->text().isEmpty());
    EXPECT_TRUE(pe("txtFAQAnswer")->toPlainText().isEmpty());

    w().bringToFront(4);
    le("txtFeatureName")->setText(" Timer ");
    w().xpcmdFeatureAdd_Click();
    EXPECT_EQ(dialogs.lastMessage(), "Please enter the details of  Timer ");

    w().bringToFront(6);
    w().xpcmdTestimonialAdd_Click();
    EXPECT_EQ(dialogs.lastMessage(), "Please enter the name of the person who has given this feedback");
    le("txtTestimonialName")->setText("Ann ");
    w().xpcmdTestimonialAdd_Click();
    EXPECT_EQ(dialogs.lastMessage(), "Please enter some more information about Ann ");
    EXPECT_EQ(w().focusWidget(), le("txtTestimonialAdditionalInfo"));
    le("txtTestimonialAdditionalInfo")->setText("CEO");
    w().xpcmdTestimonialAdd_Click();
    EXPECT_EQ(dialogs.lastMessage(), "What does Ann  have to say about this product.");
    EXPECT_EQ(w().focusWidget(), pe("txtTestimonial"));
    pe("txtTestimonial")->setPlainText("Great\ntool");
    w().xpcmdTestimonialAdd_Click();
    EXPECT_EQ(rows(lv("lvwTestimonial")), (QList<QStringList>{{"Ann ", "CEO", "Great\r\ntool"}}));

    // A click loads the selected row back; Remove deletes it and empties the boxes.
    QTreeWidgetItem *row = lv("lvwTestimonial")->topLevelItem(0);
    QTest::mouseClick(lv("lvwTestimonial")->viewport(), Qt::LeftButton, {},
                      lv("lvwTestimonial")->visualItemRect(row).center());
    EXPECT_EQ(le("txtTestimonialName")->text(), "Ann ");
    EXPECT_EQ(pe("txtTestimonial")->toPlainText(), "Great\ntool");
    w().xpcmdTestimonialRemove_Click();
    EXPECT_EQ(lv("lvwTestimonial")->topLevelItemCount(), 0);
    EXPECT_TRUE(le("txtTestimonialName")->text().isEmpty());
    le("txtTestimonialName")->setText("kept");
    w().xpcmdTestimonialRemove_Click(); // empty list: nothing happens
    w().lvwTestimonial_Click();
    EXPECT_EQ(le("txtTestimonialName")->text(), "kept");
    w().close();
}

TEST_F(WizardWindows, SaveClearAllLoadRestoresEverything)
{
    cb("cmbTemplates")->setCurrentIndex(cb("cmbTemplates")->count() - 1);
    const QString chosenTemplate = cb("cmbTemplates")->currentText();

    w().xpcmdSave_Click();
    EXPECT_EQ(dialogs.lastMessage(), "Please enter a name of the software to save");

    int n = 0;
    store::QtForm form(&w());
    for (const store::Control &c : form.controls())
        if (c.textBox)
            c.textBox->setText(QString("  %1 line %2\r\nsecond").arg(c.name).arg(++n));
    le("txtSoftwareName")->setText("  Lead Spaces");
    lv("lvwFAQ")->addTopLevelItem(new QTreeWidgetItem(QStringList{" q1", "a\r\nb"}));
    lv("lvwFeatures")->addTopLevelItem(new QTreeWidgetItem(QStringList{"f", ""}));
    lv("lvwTestimonial")->addTopLevelItem(new QTreeWidgetItem(QStringList{"t", "", "says"}));
    lv("lvwTestimonial")->addTopLevelItem(new QTreeWidgetItem(QStringList{"u", "info", "more"}));
    const auto savedText = textBoxes(w());
    const auto savedRows = allRows();
    EXPECT_EQ(savedText.size(), 33u);

    dialogs.messages.clear();
    w().xpcmdSave_Click();
    w().xpcmdSave_Click(); // twice: one file, listed once
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(QFileInfo::exists(app() + "/sites/  Lead Spaces.ini"));
    EXPECT_EQ(cb("cmbExistingSoftware")->findText("  Lead Spaces"), 0);
    EXPECT_NE(cb("cmbExistingSoftware")->itemText(1), "  Lead Spaces");

    w().ClearAll();
    for (const auto &[name, text] : textBoxes(w()))
        EXPECT_TRUE(text.isEmpty()) << name.toStdString();
    EXPECT_EQ(allRows(), (QList<QList<QStringList>>{{}, {}, {}}));
    EXPECT_EQ(lv("lvwTestimonial")->headerItem()->text(0), "Testimonial From ");
    EXPECT_EQ(cb("cmbTemplates")->currentText(), chosenTemplate);

    // Rows added before a load are replaced, not merged.
    lv("lvwFeatures")->addTopLevelItem(new QTreeWidgetItem(QStringList{"stale", "row"}));
    w().xpcmdLoadInfo_Click();
    EXPECT_FALSE(w().FrameLoadSoftware->isHidden());
    cb("cmbExistingSoftware")->setCurrentText("  Lead Spaces");
    w().xpcmdLoadLoad_Click();
    EXPECT_EQ(textBoxes(w()), savedText);
    EXPECT_EQ(allRows(), savedRows);
    EXPECT_TRUE(w().FrameLoadSoftware->isHidden());
    EXPECT_EQ(w().windowTitle(), "Wizard :: Step 1 of 10 for   Lead Spaces");
    EXPECT_EQ(cb("cmbTemplates")->currentText(), chosenTemplate);

    // Nothing chosen, or a name without a file: a message and nothing changes.
    cb("cmbExistingSoftware")->setCurrentText("");
    w().xpcmdLoadLoad_Click();
    EXPECT_EQ(dialogs.lastMessage(), "Please select an existing software data to load");
    cb("cmbExistingSoftware")->setCurrentText("No Such Product");
    w().xpcmdLoadLoad_Click();
    EXPECT_EQ(dialogs.lastMessage(), "Unable to find the saved data of No Such Product");
    EXPECT_EQ(textBoxes(w()), savedText);
    QFile::remove(app() + "/sites/  Lead Spaces.ini");

    // Failures that would otherwise pass unnoticed: an unwritable name, a file without lists.
    le("txtSoftwareName")->setText("no/such/folder");
    w().xpcmdSave_Click();
    EXPECT_TRUE(dialogs.lastMessage().startsWith("Unable to save the wizard data to "));
    testing_support::writeAll(app() + "/sites/Bare.ini", "[TEXT]\r\ntxtSoftwareName=Bare\r\n");
    cb("cmbExistingSoftware")->setCurrentText("Bare");
    w().xpcmdLoadLoad_Click();
    EXPECT_EQ(dialogs.lastMessage(),
              "The saved data of Bare is incomplete: some answers could not be loaded.");
    QFile::remove(app() + "/sites/Bare.ini");
}

TEST_F(WizardWindows, ProductImageKeepsTheLastGoodPicture)
{
    const QString path = app() + "/shot.png";
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(path));

    dialogs.files.push_back(path);
    w().xpcmdBrowseProductImage_Click();
    EXPECT_EQ(dialogs.fileRequests.back().filter,
              "GIF Files (*.gif)|*.gif| JPG Files (*.jpg)|*.jpg|All files (*.*)|*.*");
    EXPECT_EQ(w().productPicture().size(), QSize(40, 30));

    le("txtProductImage")->clear();
    EXPECT_TRUE(w().productPicture().isNull());
    le("txtProductImage")->setText(path);
    QTest::keyClicks(le("txtProductImage"), ".b"); // a partly typed path
    EXPECT_EQ(w().productPicture().size(), QSize(40, 30));
}

TEST_F(WizardWindows, PreviewsWriteTheTempPage)
{
    le("txtSoftwareName")->setText("Previewed");
    cb("cmbTemplates")->setCurrentIndex(0);
    const QString preview = app() + "/~temp.htm";
    QTest::mouseClick(named<QPushButton>("xpcmdMoreTemplates"), Qt::LeftButton);
    ASSERT_TRUE(QFileInfo::exists(preview));
    EXPECT_TRUE(testing_support::readAll(preview).contains("Previewed"));
    EXPECT_TRUE(QFileInfo::exists(preview + ".files"));
    EXPECT_TRUE(waitForUrl(w().WebBrowser1, QUrl::fromLocalFile(preview)));

    w().xpcmdBrowserPreview_Click();
    ASSERT_EQ(s_opened.size(), 1);
    EXPECT_EQ(s_opened.first().toLocalFile(), preview);
    EXPECT_TRUE(dialogs.fileRequests.empty());

    // The promotional panels open the maker's pages.
    QTest::mouseClick(named<QLabel>("lblPromoText_1"), Qt::LeftButton);
    named<QPushButton>("xpcmdMore_2")->click();
    EXPECT_EQ(s_opened.mid(1),
              (QList<QUrl>{QUrl(frmWizard::kPromoAddress[1]), QUrl(frmWizard::kPromoAddress[2])}));
}

TEST_F(WizardWindows, GeneratePageHandsOffToTheEditorAndRemembersThePath)
{
    QTemporaryDir out;
    const QString page = out.path() + "/sales.htm";
    le("txtSoftwareName")->setText("Handed Off");
    cb("cmbTemplates")->setCurrentIndex(0);
    w().showWindow(false);

    dialogs.files.push_back(page);
    w().xpcmdEditInEditor_Click(1);
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].filter, "Web Page (*.htm)|*.htm|All files (*.*)|*.*");
    ASSERT_TRUE(QFileInfo::exists(page));
    EXPECT_TRUE(QFileInfo::exists(page + ".files"));
    EXPECT_TRUE(QFileInfo::exists(out.path() + "/" + cb("cmbTemplates")->currentText() + "_style.css"));
    EXPECT_EQ(s_main->CurrentFile, page);
    EXPECT_EQ(s_main->windowTitle(), "Quillmark : " + page);
    EXPECT_TRUE(s_main->DHTMLEdit1->DocumentHTML().contains("Handed Off"));
    EXPECT_TRUE(s_main->rtbHTMLSource->Text().contains("Handed Off"));
    EXPECT_EQ(s_main->rtbHTMLSource->SelStart(), 0);
    EXPECT_TRUE(waitForUrl(s_main->WebBrowser1, QUrl::fromLocalFile(page)));
    EXPECT_FALSE(w().isVisible());
    // The chosen path went into the product's file at once.
    EXPECT_TRUE(testing_support::readAll(app() + "/sites/Handed Off.ini").contains("sales.htm"));

    // Again: the same file, no question; gone: asked again (cancel stops, wizard stays).
    le("txtSoftwareName")->setText("");
    w().showWindow(false);
    w().xpcmdEditInEditor_Click(0);
    EXPECT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.lastMessage(), "Please enter a name of the software to save");
    EXPECT_FALSE(w().isVisible());
    QFile::remove(page);
    w().showWindow(false);
    w().xpcmdEditInEditor_Click(1);
    EXPECT_EQ(dialogs.fileRequests.size(), 2u);
    EXPECT_TRUE(le("txtGeneratedPage")->text().isEmpty());
    EXPECT_TRUE(w().isVisible());

    // No template: generation refuses and the editor is not touched.
    le("txtGeneratedPage")->setText("   ");
    cb("cmbTemplates")->setCurrentIndex(-1);
    dialogs.files.push_back(out.path() + "/other.htm");
    w().xpcmdEditInEditor_Click(1);
    EXPECT_EQ(dialogs.fileRequests.size(), 3u); // spaces count as no path
    EXPECT_EQ(dialogs.lastMessage(), "Please select a template");
    EXPECT_EQ(s_main->CurrentFile, page);
    EXPECT_TRUE(w().isVisible());
    w().close();
    QFile::remove(app() + "/sites/Handed Off.ini");
}

TEST_F(WizardWindows, SampleProductGeneratesWithEveryTemplate)
{
    QTemporaryDir out;
    const QStringList samples = QDir(testing_support::sourceDir() + "/sites").entryList({"*.ini"});
    ASSERT_FALSE(samples.isEmpty());
    cb("cmbExistingSoftware")->setCurrentText(QFileInfo(samples.first()).completeBaseName());
    w().xpcmdLoadLoad_Click();
    ASSERT_GT(lv("lvwFAQ")->topLevelItemCount(), 0);
    EXPECT_FALSE(w().productPicture().isNull());
    ASSERT_GE(cb("cmbTemplates")->count(), 3);
    for (int i = 0; i < cb("cmbTemplates")->count(); ++i) {
        cb("cmbTemplates")->setCurrentIndex(i);
        const QString page = out.path() + "/" + cb("cmbTemplates")->currentText() + ".htm";
        le("txtGeneratedPage")->clear();
        dialogs.files.push_back(page);
        w().xpcmdEditInEditor_Click(1);
        EXPECT_EQ(s_main->CurrentFile, page);
        const QByteArray html = testing_support::readAll(page);
        EXPECT_TRUE(html.contains(le("txtSoftwareName")->text().toLocal8Bit())) << page.toStdString();
        EXPECT_FALSE(html.contains("<ZOR_PAGE_DATA_SOFTWARENAME>"));
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
}

TEST_F(WizardWindows, OpenFileDialogEmptiesTheEditorOnBothPaths)
{
    const QString file = app() + "/mine.htm";
    testing_support::writeAll(file, "<html><body><p>Mine</p></body></html>");
    // Opens the dialog from the main window and takes one of its options.
    const auto openVia = [](bool html) {
        QTimer::singleShot(0, [html] {
            auto *dialog = qobject_cast<wizard::frmLoadFile *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_TRUE(dialog->findChild<QRadioButton *>("optWizardData")->isChecked());
            EXPECT_EQ(dialog->windowTitle(), "Open File");
            if (html)
                dialog->findChild<QRadioButton *>("optHTMLFile")->setChecked(true);
            dialog->findChild<QPushButton *>("xpcmdOpen")->click();
        });
        wizard::peer().showLoadFile();
    };

    // HTML file, dialog cancelled: the blank document and no path stay.
    s_main->CurrentFile = "/somewhere/old.htm";
    s_main->setWindowTitle("Quillmark : /somewhere/old.htm");
    s_main->SSTabEditor->setCurrentIndex(1);
    openVia(true);
    EXPECT_TRUE(s_main->CurrentFile.isEmpty());
    EXPECT_EQ(s_main->SSTabEditor->currentIndex(), 0);
    EXPECT_TRUE(s_main->rtbHTMLSource->Text().isEmpty());
    EXPECT_FALSE(s_main->DHTMLEdit1->DocumentHTML().contains("Mine"));
    EXPECT_EQ(s_main->windowTitle(), "Quillmark : /somewhere/old.htm");
    EXPECT_EQ(dialogs.fileRequests.back().filter, "Web Page (*.htm)|*.htm|All Files (*.*)|*.*");

    dialogs.files = {file, app() + "/missing.htm"};
    openVia(true);
    EXPECT_EQ(s_main->CurrentFile, file);
    EXPECT_EQ(s_main->windowTitle(), "Quillmark : " + file);
    EXPECT_TRUE(s_main->DHTMLEdit1->DocumentHTML().contains("Mine"));
    openVia(true);
    EXPECT_EQ(dialogs.lastMessage(), "Unable to open " + app() + "/missing.htm");

    // Wizard data: the wizard opens empty, modally, on step 1 with the load panel.
    pe("txtProblem")->setPlainText("old answer");
    lv("lvwFAQ")->addTopLevelItem(new QTreeWidgetItem(QStringList{"old", "row"}));
    w().bringToFront(5);
    bool checked = false;
    // The wizard shows after the editor's views have been emptied: wait for it.
    std::function<void()> inspectWizard = [&] {
        if (!w().isVisible())
            return QTimer::singleShot(20, inspectWizard);
        checked = true;
        EXPECT_TRUE(w().isModal());
        EXPECT_EQ(w().pageInFront(), 0);
        EXPECT_TRUE(w().FrameLoadSoftware->isVisible());
        EXPECT_TRUE(pe("txtProblem")->toPlainText().isEmpty());
        EXPECT_EQ(lv("lvwFAQ")->topLevelItemCount(), 0);
        w().xpcmdClose_Click();
    };
    QTimer::singleShot(0, inspectWizard);
    openVia(false);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(s_main->CurrentFile.isEmpty());
    EXPECT_FALSE(w().isVisible());
}

} // namespace
