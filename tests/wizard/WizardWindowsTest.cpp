// The wizard and the open-file dialog with the real views (offscreen WebEngine),
// the real store, generation and main window.
#include "wizard/WizardPeer.h"
#include "wizard/frmLoadFile.h"
#include "wizard/frmWizard.h"

#include "common/PageText.h"
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "desktop/OpenURLInNewWindow.h"
#include "editor/frmMain.h"
#include "generation/Fields.h"
#include "generation/ProductFile.h"
#include "platform/AppFolder.h"
#include "platform/widgets/BrowserView.h"
#include "platform/widgets/DesignView.h"
#include "platform/widgets/SourceView.h"
#include "store/QtForm.h"
#include "store/modReadWriteIni.h"

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

void clearWindowSettings()
{
    QSettings("Quillmark", "wizard").clear();
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

class WizardWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        clearWindowSettings(); // the last run's step must not decide where these tests start
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
    // A one-line or a multi-line box, by name.
    static void setBox(const char *name, const QString &text)
    {
        if (auto *line = w().findChild<QLineEdit *>(name))
            return line->setText(text);
        pe(name)->setPlainText(text);
    }
    static QString boxText(const char *name)
    {
        auto *line = w().findChild<QLineEdit *>(name);
        return line ? line->text() : pe(name)->toPlainText();
    }
    static QString app() { return s_dir->path(); }
    // Runs `open`, which shows the wizard modally; `check` runs once it shows, then it closes.
    static bool whileModal(const std::function<void()> &open, const std::function<void()> &check)
    {
        bool checked = false;
        std::function<void()> inspect = [&] {
            if (!w().isVisible())
                return QTimer::singleShot(20, inspect);
            checked = true;
            check();
            w().xpcmdClose_Click();
        };
        QTimer::singleShot(0, inspect);
        open();
        return checked;
    }
    // The main window's views, by their names.
    static auto mainDesign() { return s_main->findChild<platform::DesignView *>("DHTMLEdit1"); }
    // The main window's source view takes an opened page when its tab is shown.
    static QString mainSourceText()
    {
        s_main->switchTab(1);
        const QString text = s_main->findChild<platform::SourceView *>("rtbHTMLSource")->Text();
        s_main->switchTab(0);
        return text;
    }
    static QList<QList<QStringList>> allRows()
    {
        return {rows(lv("lvwFAQ")), rows(lv("lvwFeatures")), rows(lv("lvwTestimonial"))};
    }

    RecordingDialogs dialogs;
    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline editor::frmMain *s_main = nullptr;
    static inline QList<QUrl> s_opened;
};

TEST_F(WizardWindows, CaptionStepListAndButtonsAgreeAfterEveryWayIn)
{
    // The page in front, CurrentStep, the caption, the marked step of the list and the
    // buttons all tell the same step.
    const auto at = [](int step, const QString &name) {
        EXPECT_EQ(w().CurrentStep, step);
        EXPECT_EQ(w().pageInFront(), step);
        EXPECT_EQ(w().windowTitle(), QString("Wizard :: Step %1 of 10 for %2").arg(step + 1).arg(name));
        EXPECT_TRUE(named<QLabel>("Image1")->text().contains(QString("&#9656;&nbsp;%1<").arg(step + 1)))
            << step;
        EXPECT_EQ(w().xpcmdPrevious->isEnabled(), step > 0) << step;
        EXPECT_EQ(w().xpcmdNext->isEnabled(), step < 9) << step;
    };
    // First open.
    w().showWindow(false);
    at(0, "");
    le("txtSoftwareName")->setText("Tally");
    at(0, "Tally"); // the caption follows the name as it is typed
    for (int i = 0; i < 9; ++i)
        QTest::mouseClick(w().xpcmdNext, Qt::LeftButton);
    at(9, "Tally");
    w().xpcmdPrevious_Click();
    at(8, "Tally");

    // A click on a step of the list goes there.
    emit named<QLabel>("Image1")->linkActivated("step:4");
    at(3, "Tally");
    emit named<QLabel>("Image1")->linkActivated("step:11"); // no such step: nothing moves
    at(3, "Tally");
    emit named<QLabel>("Image1")->linkActivated("step:0");
    at(3, "Tally");

    // Closing (button or close box) only hides: answers and rows stay. Reopened from
    // the editor, the wizard is on step 1 in every respect.
    lv("lvwFAQ")->addTopLevelItem(new QTreeWidgetItem(QStringList{"Q", "A"}));
    w().xpcmdClose_Click();
    EXPECT_FALSE(w().isVisible());
    w().showStep(9);
    s_main->Toolbar1_ButtonClick("wizard");
    EXPECT_TRUE(w().isVisible());
    at(0, "Tally");
    w().close();
    EXPECT_FALSE(w().isVisible());
    wizard::peer().unloadWizard();
    ASSERT_EQ(frmWizard::existing(), &w());
    EXPECT_EQ(lv("lvwFAQ")->topLevelItemCount(), 1);

    // New (ClearAll): the caption names no product any more.
    w().showStep(5);
    dialogs.answers = {platform::Answer::Yes};
    EXPECT_TRUE(whileModal([] { s_main->Toolbar1_ButtonClick("new"); },
                           [&] {
                               at(0, "");
                               EXPECT_EQ(lv("lvwFAQ")->topLevelItemCount(), 0);
                           }));

    // Load, from another step: step 1 with the loaded product's name.
    w().showStep(6);
    cb("cmbExistingSoftware")->setCurrentText("Ledgerlark");
    w().xpcmdLoadLoad_Click();
    at(0, "Ledgerlark");
    w().close();
}

TEST_F(WizardWindows, ListEditorsCheckAddUpdateMoveAndRemoveInAllThreeLists)
{
    struct Editor {
        int page;
        const char *list, *prefix;
        std::vector<const char *> boxes;
        std::vector<QString> blankMessages; // box by box, the first box holding " N "
    };
    // clang-format off
    const Editor editors[] = {
        {3, "lvwFAQ", "xpcmdFAQ", {"txtFAQQuestion", "txtFAQAnswer"},
         {"Please enter a question", "Please enter an answer"}},
        {4, "lvwFeatures", "xpcmdFeature", {"txtFeatureName", "txtFeatureDetail"},
         {"Please enter a name for the feature", "Please enter the details of  N "}},
        {6, "lvwTestimonial", "xpcmdTestimonial",
         {"txtTestimonialName", "txtTestimonialAdditionalInfo", "txtTestimonial"},
         {"Please enter the name of the person who has given this feedback",
          "Please enter some more information about  N ", "What does  N  have to say about this product."}}};
    // clang-format on
    w().showWindow(false);
    for (const Editor &e : editors) {
        QTreeWidget *list = lv(e.list);
        const auto button = [&](const char *what) {
            return named<QPushButton>((QByteArray(e.prefix) + what).constData());
        };
        const auto firstColumn = [&] {
            QStringList texts;
            for (const QStringList &row : rows(list))
                texts << row.first();
            return texts;
        };
        const auto enabled = [&] {
            return QList<bool>{button("Update")->isEnabled(), button("MoveUp")->isEnabled(),
                               button("MoveDown")->isEnabled()};
        };
        // Add refused box by box, in order: the box's message and the focus on it.
        w().showStep(e.page);
        for (size_t blank = 0; blank < e.boxes.size(); ++blank) {
            for (size_t i = 0; i < e.boxes.size(); ++i)
                setBox(e.boxes[i], i >= blank ? "  " : i == 0 ? " N " : "x");
            button("Add")->click();
            EXPECT_EQ(dialogs.lastMessage(), e.blankMessages[blank]) << e.list;
            EXPECT_EQ(w().focusWidget(), named<QWidget>(e.boxes[blank])) << e.boxes[blank];
        }
        EXPECT_EQ(list->topLevelItemCount(), 0) << e.list;

        // A line break or a no-break space is not blank; texts go in untrimmed, line ends
        // as CR LF; the boxes are emptied.
        for (const QString row : {"A", "B", "C"}) {
            for (const char *box : e.boxes)
                setBox(box, row);
            setBox(e.boxes.back(), row == "C" ? QString(QChar(0x00A0)) : "\n" + row + " ");
            button("Add")->click();
            for (const char *box : e.boxes)
                EXPECT_TRUE(boxText(box).isEmpty()) << box;
        }
        ASSERT_EQ(firstColumn(), QStringList({"A", "B", "C"})) << e.list;
        EXPECT_FALSE(list->topLevelItem(0)->icon(0).isNull()) << e.list;
        EXPECT_EQ(rows(list)[2].last(), QString(QChar(0x00A0))) << e.list;
        // The columns after the first of row B, as added.
        const QStringList restOfB = QStringList(int(e.boxes.size()) - 2, "B") << "\r\nB ";
        EXPECT_EQ(rows(list)[1].mid(1), restOfB) << e.list;
        EXPECT_EQ(enabled(), QList<bool>({false, false, false})) << e.list; // nothing selected

        // A click loads the row back into the boxes.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->topLevelItem(1)).center());
        EXPECT_EQ(boxText(e.boxes[0]), "B") << e.list;
        EXPECT_EQ(boxText(e.boxes.back()), "\nB ") << e.list;
        EXPECT_EQ(enabled(), QList<bool>({true, true, true})) << e.list;
        // Every column is updated, a line typed with Shift+Enter ending in CR LF too.
        setBox(e.boxes[0], "B2");
        setBox(e.boxes.back(), "B2");
        pe(e.boxes.back())->moveCursor(QTextCursor::End);
        QTest::keyClick(pe(e.boxes.back()), Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(pe(e.boxes.back()), "x");
        button("Update")->click();
        EXPECT_EQ(firstColumn(), QStringList({"A", "B2", "C"})) << e.list;
        QStringList restOfB2 = restOfB;
        restOfB2.last() = "B2\r\nx";
        EXPECT_EQ(rows(list)[1].mid(1), restOfB2) << e.list;
        EXPECT_TRUE(boxText(e.boxes[0]).isEmpty() && boxText(e.boxes.back()).isEmpty()) << e.list;
        // The same checks as Add: a blank first box is refused and the row stays.
        setBox(e.boxes[0], "  ");
        button("Update")->click();
        EXPECT_EQ(dialogs.lastMessage(), e.blankMessages[0]);
        EXPECT_EQ(firstColumn(), QStringList({"A", "B2", "C"})) << e.list;

        button("MoveUp")->click();
        EXPECT_EQ(firstColumn(), QStringList({"B2", "A", "C"})) << e.list;
        EXPECT_EQ(enabled(), QList<bool>({true, false, true})) << e.list;
        button("MoveDown")->click();
        button("MoveDown")->click();
        EXPECT_EQ(firstColumn(), QStringList({"A", "C", "B2"})) << e.list;
        EXPECT_EQ(enabled(), QList<bool>({true, true, false})) << e.list;
        EXPECT_EQ(rows(list)[2].mid(1), restOfB2) << e.list;

        // Remove deletes the selected row and empties the boxes; with nothing selected
        // neither Remove nor a click changes anything.
        setBox(e.boxes[0], "typed");
        button("Remove")->click();
        EXPECT_EQ(firstColumn(), QStringList({"A", "C"})) << e.list;
        EXPECT_TRUE(boxText(e.boxes[0]).isEmpty()) << e.list;
        list->clearSelection();
        setBox(e.boxes[0], "kept");
        button("Remove")->click();
        emit list->itemClicked(list->topLevelItem(0), 0);
        EXPECT_EQ(list->topLevelItemCount(), 2) << e.list;
        EXPECT_EQ(boxText(e.boxes[0]), "kept") << e.list;
    }
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
            c.textBox->setText(QString::fromUtf8("  %1 line %2\r\nsecond\u00a0").arg(c.name).arg(++n));
    le("txtSoftwareName")->setText("  Lead Spaces");
    lv("lvwFAQ")->addTopLevelItem(new QTreeWidgetItem(QStringList{" q1", "a\r\nb"}));
    lv("lvwFeatures")->addTopLevelItem(new QTreeWidgetItem(QStringList{"f", ""}));
    lv("lvwTestimonial")->addTopLevelItem(new QTreeWidgetItem(QStringList{"t", "", "says"}));
    lv("lvwTestimonial")->addTopLevelItem(new QTreeWidgetItem(QStringList{"u", "info", "more"}));
    const auto savedText = textBoxes(w());
    const auto savedRows = allRows();

    dialogs.messages.clear();
    w().xpcmdSave_Click();
    w().xpcmdSave_Click(); // twice: one file, listed once
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(cb("cmbExistingSoftware")->findText("  Lead Spaces"), 0);
    EXPECT_NE(cb("cmbExistingSoftware")->itemText(1), "  Lead Spaces");

    // The window's stored controls are exactly the fields of the record, and the product
    // file reader gives back what the window holds.
    QStringList stored, fields;
    for (const store::Control &c : form.controls())
        if (c.textBox || c.listView)
            stored << c.name;
    for (const generation::Field &f : generation::Fields())
        fields << f.name;
    stored.sort();
    fields.sort();
    EXPECT_EQ(stored, fields);
    generation::PageData loaded;
    ASSERT_TRUE(generation::LoadProduct(store::DataFilePath("  Lead Spaces.ini", platform::userDataFolder()),
                                        loaded));
    const generation::PageData shown = w().pageData();
    for (const generation::Field &f : generation::Fields()) {
        if (f.kind == generation::FieldKind::List) {
            ASSERT_EQ((loaded.*f.rows).size(), (shown.*f.rows).size()) << f.name.toStdString();
            for (int i = 0; i < (shown.*f.rows).size(); ++i) {
                const generation::ListRow &a = (loaded.*f.rows)[i], &b = (shown.*f.rows)[i];
                EXPECT_EQ(a.text, b.text) << f.name.toStdString();
                for (int n = 1; n < f.columns.size(); ++n) // an empty last cell may be left out
                    EXPECT_EQ(a.subItem(n), b.subItem(n)) << f.name.toStdString();
            }
        } else if (f.text != &generation::PageData::txtProductImage) {
            EXPECT_EQ(shown.*f.text, savedText.at(f.name)) << f.name.toStdString();
            EXPECT_EQ(loaded.*f.text, shown.*f.text) << f.name.toStdString();
        }
    }

    w().ClearAll();
    for (const auto &[name, text] : textBoxes(w())) // a choice clears to its first item
        EXPECT_TRUE(text.isEmpty() || (name == "cmbCounting" && text == "none")) << name.toStdString();
    EXPECT_EQ(allRows(), (QList<QList<QStringList>>{{}, {}, {}}));

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

    // Failures that would otherwise pass unnoticed: an unwritable name, a file without lists.
    le("txtSoftwareName")->setText("no/such/folder");
    w().xpcmdSave_Click();
    EXPECT_TRUE(dialogs.lastMessage().startsWith("Unable to save the wizard data to "));
    testing_support::writeAll(app() + "/sites/Bare.ini", "[TEXT]\r\ntxtSoftwareName=Bare\r\n");
    cb("cmbExistingSoftware")->setCurrentText("Bare");
    w().xpcmdLoadLoad_Click();
    EXPECT_EQ(dialogs.lastMessage(),
              "The saved data of Bare is incomplete: some answers could not be loaded.");
}

TEST_F(WizardWindows, ProductImageAndPreviews)
{
    // Both previews write the temporary page, without asking for a path.
    le("txtSoftwareName")->setText("Previewed");
    cb("cmbTemplates")->setCurrentIndex(0);
    const QString preview = platform::previewPage();
    QTest::mouseClick(named<QPushButton>("xpcmdMoreTemplates"), Qt::LeftButton);
    EXPECT_TRUE(testing_support::readAll(preview).contains("Previewed"));
    EXPECT_TRUE(testing_support::waitFor(
        [&] { return w().WebBrowser1->url() == QUrl::fromLocalFile(preview); }, 15000));
    w().xpcmdBrowserPreview_Click();
    EXPECT_EQ(s_opened, QList<QUrl>{QUrl::fromLocalFile(preview)});
    EXPECT_TRUE(dialogs.fileRequests.empty());

    // The last good picture stays while a path is typed.
    const QString shot = app() + "/shot.png";
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(shot));
    dialogs.files.push_back(shot);
    w().xpcmdBrowseProductImage_Click();
    EXPECT_EQ(w().productPicture().size(), QSize(40, 30));
    le("txtProductImage")->clear();
    EXPECT_TRUE(w().productPicture().isNull());
    le("txtProductImage")->setText(shot);
    QTest::keyClicks(le("txtProductImage"), ".b");
    EXPECT_EQ(w().productPicture().size(), QSize(40, 30));
    // A file that is refused as a picture is refused when chosen, and the typed path stays.
    testing_support::writeAll(app() + "/ftpinfo.ini", QByteArray("\x89PNG\r\n\x1a\n", 8));
    dialogs.files.push_back(app() + "/ftpinfo.ini");
    w().xpcmdBrowseProductImage_Click();
    EXPECT_TRUE(dialogs.lastMessage().contains("one of Quillmark's own files"));
    EXPECT_EQ(le("txtProductImage")->text(), shot + ".b");

    // The promotional panels open the maker's pages.
    QTest::mouseClick(named<QLabel>("lblPromoText_1"), Qt::LeftButton);
    named<QPushButton>("xpcmdMore_2")->click();
    EXPECT_EQ(s_opened.mid(1),
              (QList<QUrl>{QUrl(frmWizard::kPromoAddress[1]), QUrl(frmWizard::kPromoAddress[2])}));
}

// The preview shows the answers as they are now, never a page left from before.
TEST_F(WizardWindows, ThePreviewFollowsTheAnswersAndTheTemplate)
{
    const auto previewTitle = [&](const QString &title) {
        return testing_support::waitFor([&] { return w().WebBrowser1->title() == title; }, 15000);
    };
    cb("cmbExistingSoftware")->setCurrentText("Ledgerlark");
    w().xpcmdLoadLoad_Click();
    w().showStep(frmWizard::kPreviewStep);
    EXPECT_TRUE(previewTitle(QString::fromUtf8("Ledgerlark \u2013 ") + le("txtOneLiner")->text()));
    wizard::peer().ClearAll();
    wizard::peer().showFirstStep();
    le("txtSoftwareName")->setText("Brandnew");
    EXPECT_EQ(named<QLabel>("lblSoftwareNameCount")->text(), "8 / 60") << "counted as typed";
    w().Image1_LinkActivated("step:9");
    EXPECT_TRUE(previewTitle("Brandnew"));
    cb("cmbTemplates")->setCurrentText("Ember");
    EXPECT_TRUE(testing_support::readAll(platform::previewPage()).contains("Ember_style.css"));

    // With two versions the preview shows the one chosen.
    cb("cmbExistingSoftware")->setCurrentText("Ledgerlark"); // $49
    w().xpcmdLoadLoad_Click();
    named<QCheckBox>("chkTryVariantB")->setChecked(true);
    le("txtSpecialPriceB")->setText("$17");
    cb("cmbPreviewVariant")->setCurrentIndex(1);
    w().showStep(frmWizard::kPreviewStep);
    EXPECT_TRUE(testing_support::showsText(w().WebBrowser1, "$17"));
    cb("cmbPreviewVariant")->setCurrentIndex(0);
    EXPECT_TRUE(testing_support::showsText(w().WebBrowser1, "$49"));
    EXPECT_TRUE(dialogs.messages.empty());
}

// Keep B makes version B's answers the main ones and ends the test; Keep A only ends it.
TEST_F(WizardWindows, KeepingAVersionEndsTheTest)
{
    for (const char *keep : {"cmdKeepA", "cmdKeepB"}) {
        le("txtOneLiner")->setText("A pitch");
        named<QCheckBox>("chkTryVariantB")->setChecked(true);
        le("txtOneLinerB")->setText("B pitch");
        le("txtSpecialPrice")->setText("$29");
        le("txtSpecialPriceB")->setText(" ");
        named<QPushButton>(keep)->click();
        EXPECT_EQ(le("txtOneLiner")->text(), QString(keep).endsWith('B') ? "B pitch" : "A pitch") << keep;
        EXPECT_EQ(le("txtSpecialPrice")->text(), "$29"); // a blank B answer is A's
        EXPECT_FALSE(named<QCheckBox>("chkTryVariantB")->isChecked());
        EXPECT_EQ(le("txtOneLinerB")->text(), "");
    }
}

// With a product name and a page made from it, a kept version is saved at once, and
// the page loses the test too unless it was edited since Quillmark wrote it.
TEST_F(WizardWindows, AKeptVersionIsSavedAndReachesAnUneditedPage)
{
    QTemporaryDir out;
    const QString page = out.filePath("page.htm");
    const QString product = platform::userDataFolder() + "/sites/Keeper.ini";
    le("txtSoftwareName")->setText("Keeper");
    cb("cmbTemplates")->setCurrentIndex(0);
    le("txtGeneratedPage")->setText(page);
    const auto tryB = [&](const QString &pitch) {
        le("txtOneLiner")->setText("A pitch");
        named<QCheckBox>("chkTryVariantB")->setChecked(true);
        le("txtOneLinerB")->setText(pitch);
        dialogs.files.push_back(page); // if the path is asked for
        w().showWindow(false);
        w().xpcmdEditInEditor_Click(0);
        ASSERT_TRUE(testing_support::readAll(page).contains(pitch.toUtf8()));
    };
    tryB("B pitch");
    named<QPushButton>("cmdKeepB")->click();
    EXPECT_TRUE(testing_support::readAll(product).contains("txtOneLiner=B pitch"));
    EXPECT_FALSE(testing_support::readAll(page).contains("A pitch"));

    tryB("C pitch");
    const QByteArray edited = testing_support::readAll(page) + "<!-- by hand -->";
    ASSERT_TRUE(testing_support::writeAll(page, edited));
    named<QPushButton>("cmdKeepA")->click();
    EXPECT_EQ(testing_support::readAll(page), edited);
    EXPECT_TRUE(testing_support::readAll(product).contains("txtOneLiner=A pitch"));
}

// The address a publish reached fills the page address only when none was typed.
TEST_F(WizardWindows, APublishedAddressFillsOnlyAnEmptyAddress)
{
    le("txtPageURL")->setText(" ");
    wizard::peer().offerPageAddress("https://shop.example/tool.htm");
    EXPECT_EQ(le("txtPageURL")->text(), "https://shop.example/tool.htm");
    le("txtPageURL")->setText("https://typed.example/");
    wizard::peer().offerPageAddress("https://shop.example/other.htm");
    EXPECT_EQ(le("txtPageURL")->text(), "https://typed.example/");
}

// A link answer that would run script is named when its step is left, and the step
// waits for it.
TEST_F(WizardWindows, ScriptLinksHoldTheirStep)
{
    w().showWindow(false);
    const std::pair<const char *, int> links[] = {
        {"txtSupportURL", 0}, {"txtAffiliateURL", 0}, {"txtDownloadURL", 5}, {"txtPurchaseURL", 7}};
    for (const auto &[field, step] : links) {
        SCOPED_TRACE(field);
        w().showStep(step);
        const QString hostile = " JavaScript:alert(1)";
        setBox(field, hostile);
        const size_t before = dialogs.messages.size();
        w().xpcmdNext_Click();
        w().xpcmdPrevious_Click();
        w().Image1_LinkActivated("step:10");
        EXPECT_EQ(w().CurrentStep, step);
        EXPECT_EQ(dialogs.messages.size(), before + 3);
        EXPECT_TRUE(dialogs.lastMessage().contains(QString("(%1) is a javascript: address").arg(field)))
            << dialogs.lastMessage().toStdString();
        EXPECT_EQ(w().focusWidget(), named<QWidget>(field));
        EXPECT_EQ(boxText(field), hostile); // kept as typed, for the user to correct
        w().ClearAll();
        w().xpcmdNext_Click();
        EXPECT_EQ(w().CurrentStep, step + 1);
    }
    // Another step's link does not hold this one.
    setBox("txtSupportURL", " JavaScript:alert(1)");
    w().showStep(5);
    w().xpcmdNext_Click();
    EXPECT_EQ(w().CurrentStep, 6);
}

TEST_F(WizardWindows, SampleGeneratesWithEveryTemplateIntoTheEditorAndRemembersThePath)
{
    QTemporaryDir out;
    cb("cmbExistingSoftware")->setCurrentText("Ledgerlark");
    w().xpcmdLoadLoad_Click();
    ASSERT_GT(lv("lvwFAQ")->topLevelItemCount(), 0);
    EXPECT_FALSE(w().productPicture().isNull()); // its path is relative to the application folder
    ASSERT_GE(cb("cmbTemplates")->count(), 3);
    QString page;
    for (int i = 0; i < cb("cmbTemplates")->count(); ++i) {
        cb("cmbTemplates")->setCurrentIndex(i);
        const QString stem = out.filePath(cb("cmbTemplates")->currentText());
        page = stem + ".htm";
        le("txtGeneratedPage")->clear();
        dialogs.files.push_back(page);
        w().showWindow(false);
        w().xpcmdEditInEditor_Click(1);
        // The page with its files and their list, then the editor holding it.
        const QByteArray html = testing_support::readAll(page);
        EXPECT_TRUE(html.contains("Ledgerlark") && !html.contains("<ZOR_PAGE_DATA_SOFTWARENAME>"))
            << page.toStdString();
        EXPECT_TRUE(QFileInfo::exists(page + ".files") && QFileInfo::exists(stem + "_style.css"));
        EXPECT_EQ(s_main->currentFile(), page);
        EXPECT_TRUE(mainSourceText().contains("Ledgerlark"));
        EXPECT_FALSE(w().isVisible());
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
    // The chosen path went into the product's file at once.
    EXPECT_TRUE(testing_support::readAll(app() + "/sites/Ledgerlark.ini").contains(page.toLocal8Bit()));

    // Again: the same file, no question; gone: asked again (cancel stops, wizard stays).
    const size_t asked = dialogs.fileRequests.size();
    le("txtSoftwareName")->setText("");
    w().showWindow(false);
    w().xpcmdEditInEditor_Click(0);
    EXPECT_EQ(dialogs.fileRequests.size(), asked);
    EXPECT_EQ(dialogs.lastMessage(), "Please enter a name of the software to save");
    EXPECT_FALSE(w().isVisible());
    QFile::remove(page);
    w().showWindow(false);
    w().xpcmdEditInEditor_Click(1);
    EXPECT_EQ(dialogs.fileRequests.size(), asked + 1);
    EXPECT_EQ(le("txtGeneratedPage")->text(), page);
    EXPECT_TRUE(w().isVisible());

    // No template: generation refuses and the editor is not touched; spaces count as no path.
    le("txtGeneratedPage")->setText("   ");
    cb("cmbTemplates")->setCurrentIndex(-1);
    dialogs.files.push_back(out.filePath("other.htm"));
    w().xpcmdEditInEditor_Click(1);
    EXPECT_EQ(dialogs.fileRequests.size(), asked + 2);
    EXPECT_EQ(dialogs.lastMessage(), "Please select a template");
    EXPECT_EQ(s_main->currentFile(), page);
    EXPECT_TRUE(w().isVisible());
    w().close();
}

TEST_F(WizardWindows, TheSaveDialogSuggestsAPathAndRegeneratingAsksBeforeReplacingWork)
{
    QTemporaryDir out;
    const QString page = out.filePath("page.htm"), other = out.filePath("other.htm");
    le("txtSoftwareName")->setText("Guarded/new");
    cb("cmbTemplates")->setCurrentIndex(0);
    const auto generate = [&] {
        w().showWindow(false);
        w().xpcmdEditInEditor_Click(0);
    };
    const auto questions = [&] {
        int n = 0;
        for (const auto &m : dialogs.messages)
            n += m.choices.isEmpty() ? 0 : 1;
        return n;
    };
    const auto suggested = [&](const QString &folder, const QString &name) {
        EXPECT_EQ(dialogs.fileRequests.back().directory, folder);
        EXPECT_EQ(dialogs.fileRequests.back().fileName, name);
    };
    // A new page: the documents folder and the product's name; cancelled, nothing is made.
    generate();
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    suggested(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), "Guarded-new.htm");
    EXPECT_TRUE(w().isVisible());
    // A typed path outlives a cancelled dialog; Browse opens the dialog at it.
    le("txtGeneratedPage")->setText(page);
    generate();
    EXPECT_EQ(le("txtGeneratedPage")->text(), page);
    dialogs.files.push_back(other);
    named<QPushButton>("cmdBrowsePagePath")->click();
    suggested(out.path(), "page.htm");
    EXPECT_EQ(le("txtGeneratedPage")->text(), other);
    // A typed path of a page not made yet: its folder and its name.
    le("txtGeneratedPage")->setText(page);
    dialogs.files.push_back(page);
    generate();
    suggested(out.path(), "page.htm");
    ASSERT_TRUE(QFileInfo::exists(page));

    // Unchanged since Quillmark wrote it: no question.
    generate();
    EXPECT_EQ(questions(), 0);
    EXPECT_FALSE(w().isVisible());

    // Changed on disk: asked; Cancel keeps the file and the wizard open.
    QByteArray edited = testing_support::readAll(page) + "<!-- typed by hand -->";
    testing_support::writeAll(page, edited);
    dialogs.choices = {2};
    generate();
    ASSERT_EQ(questions(), 1);
    EXPECT_EQ(dialogs.messages.back().choices,
              QStringList(
                  {"Overwrite", QString::fromUtf8("Save the new page under another name\u2026"), "Cancel"}));
    EXPECT_TRUE(dialogs.messages.back().text.contains("was changed since Quillmark generated it"));
    EXPECT_EQ(testing_support::readAll(page), edited);
    EXPECT_TRUE(w().isVisible());

    // Another name: the edited page stays, the new one is made and opened.
    dialogs.choices = {1};
    dialogs.files.push_back(other);
    generate();
    suggested(out.path(), "page (2).htm"); // a free name beside the page
    EXPECT_EQ(testing_support::readAll(page), edited);
    EXPECT_TRUE(testing_support::readAll(other).contains("Guarded"));
    EXPECT_EQ(le("txtGeneratedPage")->text(), other);
    EXPECT_EQ(s_main->currentFile(), other);

    // Unsaved edits in the editor: asked although the file is as written; Overwrite replaces.
    mainDesign()->setDirty(true);
    dialogs.choices = {0};
    generate();
    EXPECT_EQ(questions(), 3);
    EXPECT_TRUE(dialogs.messages.back().text.contains("not saved"));
    EXPECT_FALSE(w().isVisible());
    EXPECT_FALSE(s_main->hasUnsavedChanges());

    // Overwrite over a changed file replaces it.
    le("txtGeneratedPage")->setText(page);
    dialogs.choices = {0};
    generate();
    EXPECT_EQ(questions(), 4);
    EXPECT_FALSE(testing_support::readAll(page).contains("typed by hand"));
    EXPECT_EQ(s_main->currentFile(), page);
}

TEST_F(WizardWindows, OpenFileDialogEmptiesTheEditorOnBothPaths)
{
    const QString file = app() + "/mine.htm";
    testing_support::writeAll(file, "<html><body><p>Mine</p></body></html>");
    // Opens the dialog from the main window and takes one of its options (wizard data by default).
    const auto openVia = [](bool html) {
        QTimer::singleShot(0, [html] {
            auto *dialog = qobject_cast<wizard::frmLoadFile *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_TRUE(dialog->findChild<QRadioButton *>("optWizardData")->isChecked());
            dialog->findChild<QRadioButton *>("optHTMLFile")->setChecked(html);
            dialog->findChild<QPushButton *>("xpcmdOpen")->click();
        });
        wizard::peer().showLoadFile();
    };

    // HTML file, dialog cancelled: the blank document (the main window's test tells what
    // that is) and no path stay; the caption is left.
    const QString old = app() + "/old.htm";
    testing_support::writeAll(old, "<html><body><p>Old</p></body></html>");
    ASSERT_TRUE(s_main->openPage(old));
    openVia(true);
    EXPECT_TRUE(s_main->currentFile().isEmpty() && mainSourceText().isEmpty());
    EXPECT_EQ(s_main->windowTitle(), "Quillmark : " + old);

    dialogs.files = {file};
    openVia(true);
    EXPECT_EQ(s_main->currentFile(), file);
    ASSERT_FALSE(dialogs.fileRequests.empty());
    EXPECT_TRUE(platform::toQtFilter(dialogs.fileRequests.back().filter).startsWith("Web Page (*.htm)"))
        << "the pages are offered first";
    EXPECT_TRUE(mainSourceText().contains("Mine"));

    // Wizard data: once the views are emptied, the wizard opens empty and modal on step 1
    // with the load panel.
    pe("txtProblem")->setPlainText("old answer");
    w().showStep(5);
    EXPECT_TRUE(whileModal([&] { openVia(false); },
                           [] {
                               EXPECT_TRUE(w().isModal());
                               EXPECT_EQ(w().pageInFront(), 0);
                               EXPECT_TRUE(named<QGroupBox>("FrameLoadSoftware")->isVisible());
                               EXPECT_TRUE(pe("txtProblem")->toPlainText().isEmpty());
                           }));
    EXPECT_TRUE(s_main->currentFile().isEmpty());
}

} // namespace

// The next run opens the wizard as this one left it; Close remembers the step it leaves.
TEST_F(WizardWindows, SizeAndStepLastUntilTheNextRun)
{
    for (const bool viaClose : {false, true}) {
        w().showWindow(false);
        w().showStep(4);
        w().resize(931, 677);
        if (viaClose)
            w().xpcmdClose_Click();
        else
            w().close();
        frmWizard::destroyInstance(); // a new run
        w().showWindow(false);
        EXPECT_EQ(w().pageInFront(), 4) << viaClose;
        EXPECT_EQ(w().size(), QSize(931, 677));
        w().close();
    }
    // New, the first way in of a run, starts at step 1 whatever the last run left.
    frmWizard::destroyInstance();
    dialogs.answers = {platform::Answer::Yes}; // should the editor hold unsaved work
    EXPECT_TRUE(
        whileModal([] { s_main->Toolbar1_ButtonClick("new"); }, [] { EXPECT_EQ(w().pageInFront(), 0); }));
    clearWindowSettings();
}

// Boxes show examples and help; the title-like lines count their length.
TEST_F(WizardWindows, BoxesShowExamplesHelpAndLengthCounts)
{
    EXPECT_EQ(pe("txtPurchaseURL")->placeholderText(), "e.g. https://yourshop.com/buy");
    EXPECT_TRUE(le("txtMRP")->toolTip().contains("the regular price before the offer"));
    for (const int length : {60, 61}) { // red only past the limit
        le("txtSoftwareName")->setText(QString(length, 'x'));
        EXPECT_EQ(named<QLabel>("lblSoftwareNameCount")->styleSheet().contains("#b00020"), length > 60);
    }
    EXPECT_EQ(named<QLabel>("lblSoftwareNameCount")->text(), "61 / 60");
    // No counting service, no address to give.
    EXPECT_FALSE(le("txtCountingAddress")->isEnabled());
    cb("cmbCounting")->setCurrentIndex(1);
    EXPECT_TRUE(le("txtCountingAddress")->isEnabled());
    le("txtOneLiner")->setText("Short");
    EXPECT_EQ(named<QLabel>("lblOneLinerCount")->text(), "5 / 160");
}
