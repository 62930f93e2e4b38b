#include "generation/PublishedPage.h"

#include <algorithm>
#include <cstring>

namespace generation {
namespace {

const char *const kBlocks[] = {"TESTIMONIAL_1",    "TESTIMONIAL_2", "IMAGE",        "FAQ", "FEATURES", "TRY",
                               "TRY_REQUIREMENTS", "TRY_PROBLEMS",  "NOT_CONVINCED"};

// Length of a block marker at `at` ("<ZOR_PAGE_DATA_FAQ>", "</zor_page_data_faq>"), or 0.
qsizetype markerAt(const QByteArray &b, qsizetype at)
{
    static const char prefix[] = "ZOR_PAGE_DATA_";
    qsizetype i = at + 1;
    if (i < b.size() && b[i] == '/')
        ++i;
    const qsizetype prefixLength = qsizetype(sizeof prefix - 1);
    if (b.size() - i < prefixLength || qstrnicmp(b.constData() + i, prefix, prefixLength) != 0)
        return 0;
    i += prefixLength;
    const qsizetype close = b.indexOf('>', i);
    if (close < 0 || close - i > 20)
        return 0;
    for (const char *block : kBlocks) {
        const qsizetype n = qsizetype(std::strlen(block));
        if (close - i == n && qstrnicmp(b.constData() + i, block, n) == 0)
            return close + 1 - at;
    }
    return 0;
}

} // namespace

QByteArray PublishedBytes(const QByteArray &page, std::vector<Cut> *cuts)
{
    QByteArray out;
    qsizetype from = 0;
    qsizetype removed = 0;
    for (qsizetype at = page.indexOf('<'); at >= 0; at = page.indexOf('<', at + 1)) {
        const qsizetype length = markerAt(page, at);
        if (length == 0)
            continue;
        out.append(page.constData() + from, at - from);
        from = at + length;
        removed += length;
        if (cuts)
            cuts->push_back({out.size(), removed});
        at = from - 1;
    }
    if (from == 0)
        return page;
    out.append(page.constData() + from, page.size() - from);
    return out;
}

qsizetype OffsetInPage(const std::vector<Cut> &cuts, qsizetype at)
{
    // The last cut at or before `at`: a place right at a cut lies after the marker.
    const auto it = std::upper_bound(cuts.begin(), cuts.end(), at,
                                     [](qsizetype value, const Cut &cut) { return value < cut.at; });
    return it == cuts.begin() ? at : at + std::prev(it)->removed;
}

} // namespace generation
