#pragma once
// The page as it goes to the web server. The page on disk keeps its block markers
// (<ZOR_PAGE_DATA_FAQ> …), so that it can be regenerated and edited; browsers and
// validators read them as unknown elements, so the published copy goes without them.

#include <QByteArray>
#include <vector>

namespace generation {

// Where bytes were cut: at `at` in the published copy, `removed` bytes in all had been
// cut before that point. Ordered by `at`.
struct Cut {
    qsizetype at;
    qsizetype removed;
};

// `page` without the opening and closing markers of the template blocks (found in any
// letter case); the same array, shared, when there are none.
QByteArray PublishedBytes(const QByteArray &page, std::vector<Cut> *cuts = nullptr);
// The offset in the page of offset `at` in its published copy.
qsizetype OffsetInPage(const std::vector<Cut> &cuts, qsizetype at);

} // namespace generation
