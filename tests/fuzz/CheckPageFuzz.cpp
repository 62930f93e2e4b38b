// The page check on any page and style sheet: it ends, never crashes, and every
// finding points inside the file it names, with at most so many findings a rule.
#define FUZZ_WITH_QT
#include "FuzzSupport.h"
#include "check/PageCheck.h"

#include <QFile>
#include <QHash>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QByteArray sheet = QByteArray::fromStdString(data.ConsumeRandomLengthString(1024));
    const QByteArray html = QByteArray::fromStdString(data.ConsumeRemainingBytesAsString());
    const QString page = fuzzing::scratchFolder().filePath("page.htm");
    const QString css = fuzzing::scratchFolder().filePath("s.css");
    FUZZ_CHECK(fuzzing::writeFile(page, html) && fuzzing::writeFile(css, sheet) &&
                   fuzzing::writeFile(page + ".files", (page + '\n' + css).toLocal8Bit()),
               page);

    const check::Report report = check::CheckPage(page, 4096);
    // Findings may point into any file the page names, the page and its list included.
    QHash<QString, QByteArray> texts;
    QHash<QString, int> perRule;
    for (const check::Finding &f : report.findings) {
        if (!texts.contains(f.file)) {
            QFile file(f.file);
            FUZZ_CHECK(file.open(QIODevice::ReadOnly), f.file);
            texts.insert(f.file, file.readAll());
        }
        const QByteArray &text = texts[f.file];
        FUZZ_CHECK(f.line >= 1 && f.line <= text.count('\n') + 1, QString::number(f.line));
        // (Two UTF-16 units at most for a byte: a byte that starts a 4-byte character.)
        FUZZ_CHECK(f.column >= 1 && f.column <= 2 * text.size() + 1, QString::number(f.column));
        FUZZ_CHECK(++perRule[f.rule] <= check::kMaxFindingsPerRule + 1, f.rule);
    }
    return 0;
}
