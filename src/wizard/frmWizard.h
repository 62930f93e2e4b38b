#pragma once
// The sales-page wizard: ten steps about one software product, three list editors,
// saving and loading the answers per product, previews with the shipped templates
// and the hand-off of the generated page to the editor. The window is created once
// and only ever hidden, so its answers live until the program ends.

#include "generation/PageData.h"

#include <QDialog>
#include <QPixmap>
#include <QString>
#include <memory>

class QCloseEvent;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QWidget;

namespace Ui {
class frmWizard;
}
namespace platform {
class BrowserView;
}

namespace wizard {

class ListEditor;
class TemplateGallery;

class frmWizard : public QDialog {
    Q_OBJECT
public:
    static constexpr int N = 10;           // number of steps
    static constexpr int kPreviewStep = 8; // the template step with its preview

    // The program-wide window, created (and loaded) on first use.
    static frmWizard &instance();
    // nullptr while it was never created.
    static frmWizard *existing();
    // Destroys the window (tests only: the program keeps it until it ends).
    static void destroyInstance();

    ~frmWizard() override;

    // Index of the page in front after the last move (0..9).
    qint16 CurrentStep = 0;

    // Shows the window. Modal: returns once the window is hidden again.
    void showWindow(bool modal);
    // Empties every answer and shows step 1 with the panel that loads a saved product.
    void showLoadPanel();
    // Empties every text box and the rows of every list; nothing else changes.
    void ClearAll();
    // Fills the page's web address with `address` when that answer is empty.
    void offerPageAddress(const QString &address);
    // The answers as the page generator reads them (line ends as CR LF).
    generation::PageData pageData() const;

    // Event handlers (the buttons call them; tests may too).
    void xpcmdNext_Click();
    void xpcmdPrevious_Click();
    void xpcmdClose_Click();
    void xpcmdSave_Click();
    void xpcmdLoadInfo_Click();
    void xpcmdLoadCancel_Click();
    void xpcmdLoadLoad_Click();
    // A click on a step link of the step list or of the missing answers: "step:<n>",
    // numbered from 1 as the list shows them.
    void Image1_LinkActivated(const QString &link);
    // Brings step `step` (0..9) to the front with its caption, list mark and buttons.
    void showStep(int step);
    void xpcmdBrowseProductImage_Click();
    // The Save dialog at the typed page path; the choice replaces it.
    void cmdBrowsePagePath_Click();
    void xpcmdMoreTemplates_Click();
    void xpcmdBrowserPreview_Click();
    // Both "Edit in Editor" (index 0) and "Generate Page" (index 1).
    void xpcmdEditInEditor_Click(int index);
    // "Keep A" / "Keep B": the winner's answers become the page's only version, the
    // product is saved, and a generated page nobody changed since is written again.
    void keepVariant(char which);

    // The controls, under their names.
    QWidget *pctWizard[N] = {};
    QWidget *pctWizard1 = nullptr;
    QGroupBox *FrameLoadSoftware = nullptr;
    QComboBox *cmbExistingSoftware = nullptr;
    QComboBox *cmbTemplates = nullptr;
    QPushButton *xpcmdEditInEditor[2] = {};
    QPushButton *xpcmdSave = nullptr;
    QPushButton *xpcmdClose = nullptr;
    QPushButton *xpcmdPrevious = nullptr;
    QPushButton *xpcmdNext = nullptr;
    QLabel *imgProductImage = nullptr;
    platform::BrowserView *WebBrowser1 = nullptr;
    Ui::frmWizard *ui = nullptr; // every other control, by its name

    // The page in front (pctWizard index).
    int pageInFront() const;
    // The picture currently shown for txtProductImage (null when none).
    QPixmap productPicture() const { return m_productPicture; }

    // Where the promotional panels lead; each opens with the shell.
    static const QString kPromoAddress[3];
    // The product image's Browse filter.
    static const QString kPictureFilter;

signals:
    void hidden();

protected:
    void closeEvent(QCloseEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit frmWizard(QWidget *parent = nullptr);
    void Form_Load();
    void setStepCaption();
    void updateSideBar();
    // False, after naming it and putting the focus on it, when a link answer of the step
    // in front would run script: the step stays until it is corrected.
    bool leavingStepAllowed();
    // Step 10 lists the empty answers that the chosen template uses, each a link to its step.
    void showMissingAnswers();
    void fillExistingSoftware();
    void txtProductImage_Change();
    void showProductPicture();
    void placeLoadFrame();
    // Size, position and step, for the next run.
    void rememberWindow();
    QString previewPath() const;
    void preview();
    bool generate(QString path);
    // Shows the Save dialog for the page (suggesting `suggestion`); false when cancelled.
    bool askPagePath(const QString &suggestion);
    bool handOff(const QString &path);
    void setUpGallery();
    void setUpHints();
    void galleryTemplateChosen(const QString &name);

    QPixmap m_productPicture;
    TemplateGallery *m_gallery = nullptr;   // step 9, beside cmbTemplates
    bool m_restored = false;                // the last run's size and step were applied
    bool m_closing = false;                 // Close already remembered the step it leaves
    bool m_choosingInGallery = false;       // the gallery previews its choice itself
    std::unique_ptr<ListEditor> m_lists[3]; // questions, features, testimonials
};

// Spaces (only spaces) removed from both ends: the emptiness test of every input check.
QString trimSpaces(const QString &text);
// The product image's path as a file operation needs it: a relative path is taken from
// the user's data folder, else from the program's (see generation::ResolveProductImage).
QString resolveImagePath(const QString &path);

} // namespace wizard
