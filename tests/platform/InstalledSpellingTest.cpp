// The spelling dictionaries as `cmake --install` lays them out (the prefix made by
// platform_install): the installed program points WebEngine at them, and with them
// the design view marks a misspelt word. A missing or misplaced dictionary fails.
#include "common/Spelling.h"
#include "common/TestSupport.h"
#include "platform/AppFolder.h"

#include <QDir>
#include <gtest/gtest.h>

TEST(InstalledSpelling, TheDesignViewMarksAMisspeltWordWithTheInstalledDictionaries)
{
    const QString build = testing_support::binaryDir();
    const QString prefix = build + "/test-install";
    ASSERT_TRUE(QFileInfo::exists(prefix + "/bin/quillmark")) << "platform_install runs first";
    QStringList built;
    for (const QString &file :
         QDir(build + "/bin/qtwebengine_dictionaries").entryList({"*.bdic"}, QDir::Files, QDir::Name))
        built << file.chopped(5);
    if (!built.contains("en-US"))
        GTEST_SKIP() << "the build converted no English dictionary";

    // As the installed program starts: WebEngine then reads that folder and no other.
    bool installed = false;
    platform::setProgramFolder(platform::findProgramFolder(prefix + "/bin", "../share/quillmark", &installed),
                               installed);
    ASSERT_TRUE(installed);
    qunsetenv("QTWEBENGINE_DICTIONARIES_PATH");
    platform::DesignView::useShippedDictionaries();
    ASSERT_EQ(qEnvironmentVariable("QTWEBENGINE_DICTIONARIES_PATH"),
              QDir::cleanPath(prefix + "/share/quillmark/qtwebengine_dictionaries"));
    EXPECT_EQ(platform::DesignView::spellingLanguages().join(" ").toStdString(),
              built.join(" ").toStdString());

    platform::DesignView design;
    design.setSpellingLanguage("en-US");
    design.resize(600, 200);
    ASSERT_TRUE(
        design.setDocumentHTML("<html><body><p id=t>Order today and recieve a bonus</p></body></html>"));
    QMenu *menu = testing_support::menuOnMisspeltWord(design, "t", "recieve");
    ASSERT_TRUE(menu) << "the installed dictionaries do not mark \"recieve\"";
    EXPECT_TRUE(design.lastContextMenuRequest()->spellCheckerSuggestions().contains("receive"));
    menu->close();
}
