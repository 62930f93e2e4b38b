// The program as installed with `cmake --install` into a prefix the user does not
// own: previews, saved answers, generated pages and publishing settings all go to
// the user's own folders, and nothing is written under the prefix.
#include "wizard/WizardPeer.h"
#include "wizard/frmWizard.h"

#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "editor/frmMain.h"
#include "platform/AppFolder.h"
#include "publish/FrmUploadInfo.h"

#include <QDirIterator>
#include <QtWidgets>
#include <gtest/gtest.h>

namespace {

// Every file and folder below `root` with its size, time and mode.
QStringList snapshot(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries << QString("%1 %2 %3 %4")
                       .arg(info.filePath())
                       .arg(info.size())
                       .arg(info.lastModified().toMSecsSinceEpoch())
                       .arg(int(info.permissions()));
    }
    entries.sort();
    return entries;
}

TEST(Installed, EverythingWorksAndNothingIsWrittenUnderThePrefix)
{
    const QString prefix = testing_support::binaryDir() + "/test-install";
    ASSERT_TRUE(QFileInfo::exists(prefix + "/bin/quillmark")) << "platform_install runs first";
    QTemporaryDir home;
    for (const char *name : {"QUILLMARK_DATA", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qunsetenv(name);
    qputenv("HOME", home.path().toLocal8Bit());
    bool installed = false;
    const QString program = platform::findProgramFolder(prefix + "/bin", "../share/quillmark", &installed);
    platform::setProgramFolder(program, installed);
    ASSERT_TRUE(installed);
    const QStringList before = snapshot(prefix);
    ASSERT_FALSE(before.isEmpty());

    testing_support::RecordingDialogs dialogs;
    auto *main = new editor::frmMain;
    main->setWizardPeer(&wizard::peer());
    wizard::frmWizard &w = wizard::frmWizard::instance();
    const QString data = home.path() + "/.local/share/Quillmark";
    EXPECT_EQ(platform::userDataFolder().toStdString(), data.toStdString());

    // The sample product was copied on this first run, and loads with its picture.
    auto *products = w.findChild<QComboBox *>("cmbExistingSoftware");
    ASSERT_GE(products->findText("Ledgerlark"), 0);
    products->setCurrentText("Ledgerlark");
    w.xpcmdLoadLoad_Click();
    EXPECT_EQ(w.findChild<QLineEdit *>("txtSoftwareName")->text(), "Ledgerlark");
    EXPECT_FALSE(w.productPicture().isNull());
    EXPECT_GE(w.findChild<QComboBox *>("cmbTemplates")->count(), 3);

    w.xpcmdMoreTemplates_Click();
    const QString preview = platform::previewPage();
    EXPECT_TRUE(preview.startsWith(home.path() + "/.cache/Quillmark/")) << qPrintable(preview);
    EXPECT_TRUE(testing_support::readAll(preview).contains("Ledgerlark"));

    w.findChild<QLineEdit *>("txtOneLiner")->setText("Saved where the user can write");
    w.xpcmdSave_Click();
    EXPECT_TRUE(
        testing_support::readAll(data + "/sites/Ledgerlark.ini").contains("Saved where the user can write"));

    const QString page = home.path() + "/page.htm";
    dialogs.files.push_back(page);
    w.showWindow(false);
    w.xpcmdEditInEditor_Click(1);
    EXPECT_TRUE(testing_support::readAll(page).contains("Ledgerlark"));
    EXPECT_EQ(main->currentFile(), page);

    {
        publish::FrmUploadInfo upload(main);
        upload.findChild<QLineEdit *>("txtServerName")->setText("ftp.example.invalid");
        upload.cmdSave_Click();
    }
    EXPECT_TRUE(testing_support::readAll(data + "/ftpinfo.ini").contains("ftp.example.invalid"));

    EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(dialogs.lastMessage());
    EXPECT_EQ(snapshot(prefix).join('\n').toStdString(), before.join('\n').toStdString());

    wizard::frmWizard::destroyInstance();
    delete main;
    platform::setProgramFolder({});
    platform::setUserDataFolder({});
}

} // namespace
