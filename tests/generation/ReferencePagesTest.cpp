// Every shipped template filled with the shipped sample product, byte for byte against
// tests/generation/references/<template>.htm and <template>.htm.files (the list with its
// folder and date replaced by fixed texts). After a deliberate change of a template or
// of the engine: cmake --build build --target update-references, and review the diff.
// Beside them, <template>.minimal.txt: what a reader sees of the page made for the
// minimal product, so that any sentence, price or badge the vendor never gave shows up
// in review.
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

namespace {

// The words of the page body, one block per line, each picture named with its alternative
// text (a decoration can make a claim as well: a stamp, a seal, stars).
QString readerText(const QString &html)
{
    using RE = QRegularExpression;
    const auto opts = RE::CaseInsensitiveOption | RE::DotMatchesEverythingOption;
    QString text = html.mid(html.indexOf(QStringLiteral("<body"), 0, Qt::CaseInsensitive));
    text.remove(RE(QStringLiteral("<!--.*?-->|<(script|style)\\b.*?</\\1>"), opts));
    static const RE image(QStringLiteral(R"(<img\b[^>]*>)"), opts);
    static const RE src(QStringLiteral(R"re(\bsrc="([^"]*)")re")),
        alt(QStringLiteral(R"re(\balt="([^"]*)")re"));
    for (auto m = image.match(text); m.hasMatch(); m = image.match(text, m.capturedStart())) {
        const QString altText = alt.match(m.captured()).captured(1);
        text.replace(m.capturedStart(), m.capturedLength(),
                     QStringLiteral("[picture %1%2]")
                         .arg(src.match(m.captured()).captured(1), altText.isEmpty() ? "" : ": " + altText));
    }
    text.replace(RE(QStringLiteral("</?(p|h[1-6]|li|dt|dd|tr|td|th|div|section|header|footer|nav|figure|"
                                   "figcaption|blockquote|summary|details|aside|main|ol|ul|dl|table|"
                                   "caption|br)\\b[^>]*>"),
                    opts),
                 QStringLiteral("\n"));
    text.remove(RE(QStringLiteral("<[^>]*>")));
    static const std::pair<const char *, const char *> entities[] = {
        {"&ndash;", "\u2013"}, {"&mdash;", "\u2014"}, {"&middot;", "\u00b7"},
        {"&rsquo;", "\u2019"}, {"&nbsp;", " "},       {"&quot;", "\""},
        {"&lt;", "<"},         {"&gt;", ">"},         {"&amp;", "&"}};
    for (const auto &[entity, character] : entities)
        text.replace(QLatin1String(entity), QString::fromUtf8(character));
    QStringList lines;
    for (const QString &line : text.split('\n'))
        if (!line.simplified().isEmpty())
            lines << line.simplified();
    return lines.join('\n') + '\n';
}

} // namespace

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

TEST(ReferencePages, WhatAReaderSeesOfTheMinimalProductsPage)
{
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    QStringList templates = QDir(appFolder + "/templates").entryList({"*.htm"}, QDir::Files);
    ASSERT_FALSE(templates.isEmpty());
    for (const QString &name : templates.replaceInStrings(".htm", "")) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir out;
        const QString page = out.filePath(name + ".htm");
        ASSERT_TRUE(
            GenerateTemplateBasedPage(appFolder, name, page, QString(), testing_support::MinimalProduct()));
        testing_support::expectMatchesReference(appFolder + "/tests/generation/references/" + name +
                                                    ".minimal.txt",
                                                readerText(ReadTextFile(page)).toUtf8());
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
}
