#include "editor/source/ColorSpans.h"

#include <QtGlobal>
#include <algorithm>

namespace textmodel {

void ColorSpans::reset()
{
    m_spans.assign(1, Span{0, 0});
}

ColorValue ColorSpans::colorAt(int position) const
{
    auto it = std::upper_bound(m_spans.begin(), m_spans.end(), position,
                               [](int pos, const Span &span) { return pos < span.start; });
    return it == m_spans.begin() ? 0 : std::prev(it)->color;
}

void ColorSpans::edit(int position, int removed, int added, ColorValue inserted)
{
    const int removedEnd = position + removed;
    auto byStart = [](const Span &span, int pos) { return span.start < pos; };
    const auto lo = std::lower_bound(m_spans.begin(), m_spans.end(), position, byStart);
    const auto hi = std::upper_bound(m_spans.begin(), m_spans.end(), removedEnd,
                                     [](int pos, const Span &span) { return pos < span.start; });
    const ColorValue after = std::prev(hi)->color; // the colour at removedEnd
    const int delta = added - removed;
    for (auto it = hi; it != m_spans.end(); ++it)
        it->start += delta;
    Span middle[2];
    int count = 0;
    if (added > 0)
        middle[count++] = Span{position, inserted};
    middle[count++] = Span{position + added, after};
    const auto first = lo - m_spans.begin();
    const auto replaced = hi - lo;
    if (replaced >= count) {
        std::copy(middle, middle + count, lo);
        m_spans.erase(lo + count, hi);
    } else {
        std::copy(middle, middle + replaced, lo);
        m_spans.insert(hi, middle + replaced, middle + count);
    }
    // Neighbours of one colour become one span.
    auto k = std::max<std::ptrdiff_t>(1, first);
    auto last = std::min<std::ptrdiff_t>(std::ptrdiff_t(m_spans.size()), first + count + 1);
    while (k < last) {
        if (m_spans[size_t(k)].color == m_spans[size_t(k - 1)].color) {
            m_spans.erase(m_spans.begin() + k);
            --last;
        } else {
            ++k;
        }
    }
}

namespace {

// Appends a span to spans built in ascending order: one at the same start replaces
// the last, and neighbours of one colour stay one span.
void pushSpan(std::vector<ColorSpans::Span> &out, int start, ColorValue color)
{
    while (!out.empty() && out.back().start >= start)
        out.pop_back();
    if (out.empty() || out.back().color != color)
        out.push_back(ColorSpans::Span{start, color});
}

} // namespace

void ColorSpans::editMany(const std::vector<Edit> &edits)
{
    std::vector<Span> out;
    out.reserve(m_spans.size() + 2 * edits.size());
    size_t i = 0; // the next span to copy
    int delta = 0;
    for (const Edit &e : edits) {
        const int removedEnd = e.position + e.removed;
        for (; i < m_spans.size() && m_spans[i].start <= e.position; ++i)
            pushSpan(out, m_spans[i].start + delta, m_spans[i].color);
        ColorValue after = i > 0 ? m_spans[i - 1].color : 0; // the colour at removedEnd
        for (; i < m_spans.size() && m_spans[i].start <= removedEnd; ++i)
            after = m_spans[i].color;
        if (e.added > 0)
            pushSpan(out, e.position + delta, e.inserted);
        delta += e.added - e.removed;
        pushSpan(out, removedEnd + delta, after);
    }
    for (; i < m_spans.size(); ++i)
        pushSpan(out, m_spans[i].start + delta, m_spans[i].color);
    if (out.empty() || out.front().start != 0)
        out.insert(out.begin(), Span{0, 0});
    m_spans.swap(out);
}

std::vector<ColorSpans::Span> ColorSpans::slice(int start, int end) const
{
    if (start >= end)
        return {};
    // One copy of the spans in the range (Replace All slices a whole page): the first
    // span holding `start`, the last starting before `end`.
    const auto from = std::prev(std::upper_bound(m_spans.begin(), m_spans.end(), start,
                                                 [](int pos, const Span &span) { return pos < span.start; }));
    const auto to = std::lower_bound(from, m_spans.end(), end,
                                     [](const Span &span, int pos) { return span.start < pos; });
    std::vector<Span> out(from, to);
    out.front().start = start;
    return out;
}

void ColorSpans::assign(int start, int end, const std::vector<Span> &spans)
{
    std::vector<Span> out;
    out.reserve(m_spans.size() + spans.size() + 1);
    const ColorValue atEnd = colorAt(end);
    auto it = m_spans.begin();
    for (; it != m_spans.end() && it->start < start; ++it)
        pushSpan(out, it->start, it->color);
    for (const Span &span : spans)
        if (span.start >= start && span.start < end)
            pushSpan(out, span.start, span.color);
    pushSpan(out, end, atEnd);
    for (; it != m_spans.end(); ++it)
        if (it->start > end)
            pushSpan(out, it->start, it->color);
    if (out.empty() || out.front().start != 0)
        out.insert(out.begin(), Span{0, 0});
    m_spans.swap(out);
}

bool ColorSpans::overlay(const ColorRuns &runs, int length)
{
    // The colouring gives runs that overlap, a later one over an earlier (a tag, then
    // its values), so they are first painted over a scratch row of colour indices;
    // the row's changes then merge with the spans in one pass.
    const int limit = length - 1;
    int from = limit, to = 0;
    for (const ColorRun &run : runs) {
        const int start = qBound(0, run.start, limit);
        const int end = qBound(start, run.start + qMax(0, run.length), limit);
        if (end > start) {
            from = qMin(from, start);
            to = qMax(to, end);
        }
    }
    if (from >= to)
        return false;
    constexpr quint8 kUnpainted = 0xFF;
    std::vector<ColorValue> palette;
    std::vector<quint8> row(size_t(to - from), kUnpainted);
    for (size_t r = 0; r < runs.size(); ++r) {
        const ColorRun &run = runs[r];
        auto found = std::find(palette.begin(), palette.end(), run.color);
        if (found == palette.end()) {
            if (palette.size() == kUnpainted) {
                // More colours than an index holds (never from the colouring): the
                // rest is laid on afterwards, so later runs still win.
                overlay(ColorRuns(runs.begin(), runs.begin() + std::ptrdiff_t(r)), length);
                overlay(ColorRuns(runs.begin() + std::ptrdiff_t(r), runs.end()), length);
                return true;
            }
            found = palette.insert(palette.end(), run.color);
        }
        const int start = qBound(0, run.start, limit);
        const int end = qBound(start, run.start + qMax(0, run.length), limit);
        std::fill(row.begin() + (start - from), row.begin() + (end - from), quint8(found - palette.begin()));
    }

    std::vector<Span> out;
    out.reserve(m_spans.size() + runs.size() + 2);
    auto push = [&out](int start, ColorValue color) {
        if (out.empty() || out.back().color != color)
            out.push_back(Span{start, color});
    };
    size_t i = 0; // the span holding the position copied next
    auto copy = [&](int start, int end) {
        if (start >= end)
            return;
        while (i + 1 < m_spans.size() && m_spans[i + 1].start <= start)
            ++i;
        push(start, m_spans[i].color);
        while (i + 1 < m_spans.size() && m_spans[i + 1].start < end) {
            ++i;
            push(m_spans[i].start, m_spans[i].color);
        }
    };
    copy(0, from);
    int position = from;
    while (position < to) {
        const quint8 index = row[size_t(position - from)];
        int end = position + 1;
        while (end < to && row[size_t(end - from)] == index)
            ++end;
        if (index == kUnpainted)
            copy(position, end);
        else
            push(position, palette[index]);
        position = end;
    }
    copy(to, length);
    m_spans.swap(out);
    return true;
}

} // namespace textmodel
