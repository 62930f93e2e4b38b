// The colour runs of a whole pass over a reference page, against
// tests/editor/references/page.htm.colors: each line of the page, then under it one
// letter per character (. untouched, B blue tag, R red value, G green comment).
// After a deliberate change: cmake --build build --target update-references.
#include "ColorLetters.h"
#include "common/References.h"
#include "common/TestSupport.h"
#include "editor/logic/SourceColoring.h"

#include <gtest/gtest.h>

using namespace editor;

TEST(ColoringReference, ReferencePage)
{
    const QString input = testing_support::sourceDir() + "/tests/editor/references/page.htm";
    const QString text = QString::fromLocal8Bit(testing_support::readAll(input));
    ASSERT_FALSE(text.isEmpty());
    const QString letters = editor_testing::runLetters(rangeColorRuns(text), text.size(), '.');
    QString out;
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), from);
        if (end < 0)
            end = text.size() - 1;
        // The line and its letters, line end included (shown as \r and \n).
        const QString line = text.mid(from, end - from + 1);
        out += QString(line).replace("\r", "\\r").replace("\n", "\\n") + "\n";
        QString marks = letters.mid(from, end - from + 1);
        for (qsizetype i = line.size() - 1; i >= 0; --i) {
            if (line[i] == QLatin1Char('\r') || line[i] == QLatin1Char('\n'))
                marks.insert(i + 1, marks[i]); // two characters shown for one
        }
        out += marks + "\n";
        from = end + 1;
    }
    testing_support::expectMatchesReference(input + ".colors", out.toUtf8());
}
