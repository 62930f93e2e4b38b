#pragma once
// A run of characters of one colour in a plain text, as computed by the source
// colouring and applied by the source view.

#include "platform/Dialogs.h"

#include <vector>

namespace platform {

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

} // namespace platform
