// Design edits merged into any page, the page standing for its own serialisation and
// the edit replacing a stretch of it: an unchanged page gives its own bytes back, and
// the merged page builds the edited page's tree.
#include "FuzzSupport.h"
#include "editor/source/DesignMerge.h"
#include "editor/source/DomText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString insert = fuzzing::text(data, 64), page = fuzzing::text(data, 8192);
    const int from = data.ConsumeIntegralInRange<int>(0, int(page.size()));
    const QString after = QString(page).replace(from, data.ConsumeIntegralInRange<int>(0, 400), insert);
    FUZZ_CHECK(textmodel::MergeDesignEdit(page, page, page) == page, page);
    const QString merged = textmodel::MergeDesignEdit(page, page, after);
    FUZZ_CHECK(
        domtext::DomText(merged) == domtext::DomText(after),
        QString(page + "\n--- after:\n" + after + "\n--- merged:\n" + merged).replace(QChar(0), "\\0"));
    return 0;
}
