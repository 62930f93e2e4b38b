#pragma once
// A run of characters of one colour in a plain text, as computed by the source
// colouring and applied by the source view.

#include <QtGlobal>
#include <vector>

namespace textmodel {

// Red in the lowest byte, then green, then blue (0x00BBGGRR): the same value as
// platform::ColorValue, which the colour dialog answers.
using ColorValue = quint32;

struct ColorRun {
    int start = 0; // 0-based character position
    int length = 0;
    ColorValue color = 0; // red in the lowest byte
    friend bool operator==(const ColorRun &a, const ColorRun &b)
    {
        return a.start == b.start && a.length == b.length && a.color == b.color;
    }
};

using ColorRuns = std::vector<ColorRun>;

} // namespace textmodel
