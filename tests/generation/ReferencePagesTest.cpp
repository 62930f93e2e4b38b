// Every shipped template filled with the shipped sample product, byte for byte against
// tests/generation/references/<template>.htm and <template>.htm.files (the list with its
// folder and date replaced by fixed texts). After a deliberate change of a template or
// of the engine: cmake --build build --target update-references, and review the diff.
#include "SampleProducts.h"
#include "common/RecordingDialogs.h"
#include "common/References.h"
#include "common/TestSupport.h"
#include "generation/modTemplates.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace generation;

TEST(ReferencePages, ShippedTemplatesWithTheSampleProduct)
{
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    const QString references = appFolder + "/tests/generation/references/";
    const PageData sample = testing_support::LoadSampleProduct(appFolder);
    ASSERT_FALSE(sample.txtSoftwareName.isEmpty());
    QStringList templates = QDir(appFolder + "/templates").entryList({"*.htm"}, QDir::Files);
    ASSERT_FALSE(templates.isEmpty());
    for (const QString &name : templates.replaceInStrings(".htm", "")) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir out;
        const QString page = out.filePath(name + ".htm");
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, page, sample.txtProductImage, sample));
        testing_support::expectMatchesReference(references + name + ".htm", testing_support::readAll(page));
        QString list = QString::fromLocal8Bit(testing_support::readAll(page + ".files"));
        list.replace(out.path(), QStringLiteral("<page folder>"));
        list.replace(QRegularExpression(QStringLiteral("(:: Date Generated : )[^\r\n]*")),
                     QStringLiteral("\\1<date>"));
        testing_support::expectMatchesReference(references + name + ".htm.files", list.toLocal8Bit());
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
}
