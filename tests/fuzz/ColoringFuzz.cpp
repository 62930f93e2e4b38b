// The source colouring and the typing rules over any text: every run lies inside the
// text with one of the four colours, a tag's runs lie inside the tag, and the typing
// rules never ask for a colour that is not one of them. The quick count of a page's
// lines agrees with the full pass.
#include "FuzzSupport.h"
#include "editor/logic/SourceColoring.h"
#include "editor/source/SourceText.h"

using namespace editor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const auto knownColor = [](textmodel::ColorValue c) {
        return c == kColorText || c == kColorTag || c == kColorValue || c == kColorComment;
    };
    FuzzedDataProvider data(bytes, size);
    const int start = data.ConsumeIntegralInRange(-2, 300);
    const int end = data.ConsumeIntegralInRange(-2, 300);
    const std::string keys = data.ConsumeRandomLengthString(64);
    const QString text =
        QString::fromLocal8Bit(QByteArray::fromStdString(data.ConsumeRemainingBytesAsString()));

    for (const textmodel::ColorRun &run : rangeColorRuns(text, start, end)) {
        FUZZ_CHECK(run.start >= 0 && run.length >= 0 && run.start + run.length <= text.size(),
                   QString::number(run.start) + QLatin1Char('+') + QString::number(run.length));
        FUZZ_CHECK(knownColor(run.color), QString::number(run.color));
    }
    // A tag is the text from a "<" to the next ">".
    const qsizetype lt = text.indexOf(QLatin1Char('<'));
    const qsizetype gt = lt < 0 ? -1 : text.indexOf(QLatin1Char('>'), lt);
    if (gt > 0) {
        const QString tag = text.mid(lt, gt - lt + 1);
        for (const textmodel::ColorRun &run : tagColorRuns(tag, int(lt) + 1, int(gt) + 1))
            FUZZ_CHECK(run.start >= lt && run.start + run.length <= gt + 1, tag);
    }
    const textmodel::SplitText quick = textmodel::SplitSourceText(text, textmodel::Join::WholeLinesAsTheyAre);
    const textmodel::SplitText full = textmodel::SplitSourceText(text, textmodel::Join::Always);
    FUZZ_CHECK(quick.pieces == full.pieces && quick.usual == full.usual &&
                   std::equal(std::begin(quick.counts), std::end(quick.counts), std::begin(full.counts)),
               text.left(80));
    TypingState state;
    QChar before;
    for (unsigned char key : keys) {
        const TypedCharAction action = typedCharAction(state, key, before);
        FUZZ_CHECK(!action.color || knownColor(*action.color), QString::number(key));
        FUZZ_CHECK(action.key == 0 || action.key == key, QString::number(action.key));
        if (action.key)
            before = QChar(action.key);
    }
    return 0;
}
