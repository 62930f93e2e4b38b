#pragma once
// The colours of a text as spans over its positions: a colour from each span's
// start to the next one's. Kept in step with edits of the text, painted over by
// colour runs, and read by position or piece by piece. No widget needed.

#include "editor/source/ColorRun.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace textmodel {

class ColorSpans {
public:
    struct Span {
        int start;
        ColorValue color;
        friend bool operator==(const Span &a, const Span &b)
        {
            return a.start == b.start && a.color == b.color;
        }
    };

    // One colour (0, black) from position 0.
    void reset();
    ColorValue colorAt(int position) const;
    // An edit at `position`: `removed` characters went, `added` came in `inserted`
    // colour; what follows moves with it.
    void edit(int position, int removed, int added, ColorValue inserted);
    // Many edits at once, each as edit() makes it: ascending, not overlapping, and
    // in positions before any of them. One pass over the spans, however many edits.
    struct Edit {
        int position;
        int removed;
        int added;
        ColorValue inserted;
    };
    void editMany(const std::vector<Edit> &edits);
    // The spans over [start, end), the first at `start`, for assign().
    std::vector<Span> slice(int start, int end) const;
    // Gives [start, end) the colours `spans` (as slice gave them) and keeps the rest.
    void assign(int start, int end, const std::vector<Span> &spans);
    // Lays the runs over the text of `length` positions (the last one is not
    // painted), later runs over earlier ones. False when nothing was painted.
    bool overlay(const ColorRuns &runs, int length);
    // Calls visit(from, to, colour) for each piece of one colour in [start, end).
    template <class Visit> void forEach(int start, int end, Visit visit) const
    {
        auto it = std::prev(std::upper_bound(m_spans.begin(), m_spans.end(), start,
                                             [](int pos, const Span &span) { return pos < span.start; }));
        for (; it != m_spans.end() && it->start < end; ++it) {
            const int from = it->start > start ? it->start : start;
            const int next = std::next(it) == m_spans.end() ? end : std::next(it)->start;
            const int to = next < end ? next : end;
            if (to > from)
                visit(from, to, it->color);
        }
    }
    const std::vector<Span> &spans() const { return m_spans; }

private:
    std::vector<Span> m_spans{Span{0, 0}}; // ascending starts, the first at 0
};

} // namespace textmodel
