// The formatter on any page: a browser builds the same tree from the page before and
// after, and formatting the result again changes nothing.
#include "FuzzSupport.h"
#include "editor/source/DomText.h"
#include "editor/source/HtmlFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const int indent = data.ConsumeIntegralInRange(0, 4);
    const QString page = fuzzing::text(data, 8192);
    const QString formatted = textmodel::FormatHtml(page, {indent, {}});
    FUZZ_CHECK(textmodel::FormatHtml(formatted, {indent, {}}) == formatted, formatted);
    const QString before = domtext::DomText(page), after = domtext::DomText(formatted);
    // (NUL shown as "\0": the message is printed as a C string.)
    FUZZ_CHECK(after == before,
               QString(formatted + "\n--- tree before:\n" + before + "\n--- tree after:\n" + after)
                   .replace(QChar(0), QLatin1String("\\0")));
    return 0;
}
