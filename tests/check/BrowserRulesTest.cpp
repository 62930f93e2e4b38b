// The page check's rules of the browser's own audits: picture sizes and loading, share
// pictures, elements browsers do not know, the weight a phone loads; each case gives
// exactly its findings, on the published copy, at their places in the file.
#include "check/PageCheck.h"
#include "common/TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace check;
using testing_support::writeAll;

TEST(BrowserRules, EachFindsItsFaultAndNoMore)
{
    struct Case {
        QByteArray body;
        QStringList rules; // in page order
    };
    const QByteArray sized = " width=\"4\" height=\"3\" alt=\"\"";
    const std::vector<Case> cases = {
        {"<img src=\"a.png\" alt=\"\" width=\"4\"><img src=\"a.png\"" + sized + ">", {"img-size"}},
        {"<img src=\"a.png\" loading=\"lazy\"" + sized + "><img src=\"a.png\" loading=\"lazy\"" + sized + ">",
         {"first-picture-lazy"}},
        {"<p>Type <word> here</p><my-widget></my-widget><picture><source srcset=\"a.png\"><img "
         "src=\"a.png\"" +
             sized + "></picture><svg><foo/></svg>",
         {"unknown-element"}},
        {"<meta property=\"og:image\" content=\"a.png\"><link rel=\"canonical\" href=\"https://x.test/\">",
         {"share-image-relative"}},
        {"<meta property=\"og:image\" content=\"a.png\">", {}},
        {"<meta property=\"og:image\" content=\"//x.test/a.png\"><link rel=\"canonical\" "
         "href=\"https://x.test/\">",
         {}},
        {"<meta name=\"twitter:image\" content=\"https://x.test/a.png\"><meta property=\"og:url\" "
         "content=\"https://x.test/\">",
         {}},
        // A phone loads the smallest candidate that fills 390 px, or the only source.
        {"<img srcset=\"big.png 2000w, a.png 400w\" src=\"big.png\"" + sized + ">", {}},
        {"<img srcset=\"a.png 300w, big.png 200w\"" + sized + ">", {}}, // none fills: the largest
        {"<picture><source srcset=\"a.png\"><img src=\"big.png\"" + sized + "></picture>", {}},
        {"<a href=\"big.png\">full size</a><meta property=\"og:image\" content=\"big.png\">", {}},
        {"<img srcset=\"big.png 1x, a.png 2x\"" + sized + ">", {"phone-weight"}},
        {"<p style=\"background: url(big.png)\">x</p>", {"phone-weight"}},
        // Block markers are not in the copy checked; a place after them is one in the file.
        {"\n<ZOR_PAGE_DATA_FAQ><p>q</p></ZOR_PAGE_DATA_FAQ><a href=\"gone.htm\">x</a>", {"missing-file"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.body.constData());
        QTemporaryDir dir;
        writeAll(dir.filePath("a.png"), QByteArray(100 * 1024, 'a'));
        writeAll(dir.filePath("big.png"), QByteArray(520 * 1024, 'b'));
        const QByteArray page =
            "<!DOCTYPE html><html lang=\"en\"><head><title>T</title><meta name=\"description\" "
            "content=\"D\"></head><body>" +
            c.body + "</body></html>";
        writeAll(dir.filePath("p.htm"), page);
        writeAll(dir.filePath("p.htm.files"),
                 QStringList{dir.filePath("p.htm"), dir.filePath("a.png"), dir.filePath("big.png")}
                     .join("\r\n")
                     .toLocal8Bit());
        const Report report = CheckPage(dir.filePath("p.htm"));
        QStringList rules;
        for (const Finding &f : report.findings)
            if (f.rule != "large-picture")
                rules << f.rule;
        EXPECT_EQ(rules, c.rules) << qPrintable(ToText(report));
        const qsizetype gone = page.indexOf("gone.htm");
        for (const Finding &f : report.findings) {
            EXPECT_EQ(f.severity, f.rule == "share-image-relative" || f.rule == "missing-file"
                                      ? Severity::Error
                                      : Severity::Warning);
            if (f.rule == "unknown-element") {
                EXPECT_TRUE(f.message.startsWith("<word> is no HTML element")) << qPrintable(f.message);
            }
            if (f.rule == "missing-file") {
                EXPECT_EQ(std::pair(f.line, f.column),
                          std::pair(2, int(gone - page.lastIndexOf('\n', gone))));
            }
        }
    }
}
