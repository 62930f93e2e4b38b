#include "editor/modMain.h"

#include "platform/widgets/SourceView.h"

#include <algorithm>

namespace editor::modMain {

bool InTag = false;
bool InValue = false;
bool InQuotes = false;
bool InComment = false;

namespace {
// The "<!" completion the user may still be typing over.
CommentCompletion g_completion;
} // namespace

void ColorizeSource(platform::SourceView &view)
{
    ColorizeRange(view, 1, -1);
    view.setSelStart(0);
}

void ColorizeRange(platform::SourceView &view, int start, int end)
{
    // The runs are applied without moving the view's selection, which so stays as
    // the user left it.
    view.applyColorRuns(rangeColorRuns(view.Text(), start, end));
    view.SetFocus();
}

qsizetype ReplacePlaces(platform::SourceView &view, const QString &text,
                        const std::vector<textmodel::Replacement> &places)
{
    if (places.empty())
        return 0;
    view.replacePlaces(places);
    qsizetype end = 0; // of the last replacement, in the new text
    for (const textmodel::Replacement &place : places)
        end += place.text.size() - place.length;
    end += places.back().start + places.back().length;
    // Replacements that leave every "<", ">" and value bound where it was keep the
    // colours they took; the others may change them up to the end of the text.
    const bool reshaped = std::any_of(places.begin(), places.end(), [&text](const textmodel::Replacement &p) {
        return ShapesColoring(QStringView(text).mid(p.start, p.length)) || ShapesColoring(p.text);
    });
    if (reshaped) {
        const qsizetype first = places.front().start;
        const qsizetype tagStart = first > 0 ? text.lastIndexOf(QLatin1Char('<'), first) : 0;
        ColorizeRange(view, int(qMax<qsizetype>(tagStart, 0)) + 1, int(end) + 1);
    } else {
        view.SetFocus();
    }
    return end;
}

void ColorizeTag(platform::SourceView &view, const QString &tagText, int lt, int gt)
{
    view.applyColorRuns(tagColorRuns(tagText, lt, gt));
}

int ColorizeTypedChar(platform::SourceView &view, int keyAscii)
{
    const int caret = view.SelStart();
    const QChar before = caret > 0 ? view.characterAt(caret - 1) : QChar();
    TypingState state{InTag, InValue, InQuotes, InComment};
    const TypedCharAction action =
        typedCharAction(state, g_completion, keyAscii, before, view.SelLength() == 0 ? caret : -1);
    InTag = state.InTag;
    InValue = state.InValue;
    InQuotes = state.InQuotes;
    InComment = state.InComment;
    if (action.openComment) {
        view.setSelStart(caret - 1);
        view.setSelLength(1);
        view.setSelColor(kColorComment);
        view.setSelText(QStringLiteral("<!--"));
    }
    if (action.takeBackComment && caret >= 4) {
        view.setSelStart(caret - 4);
        view.setSelLength(4);
        view.setSelColor(kColorTag);
        view.setSelText(QStringLiteral("<!"));
    }
    if (action.color)
        view.setSelColor(*action.color);
    return action.key;
}

void InstallColorizeHook(platform::SourceView &view)
{
    platform::SourceView *target = &view;
    view.setKeyPressHook([target](int keyAscii) { return ColorizeTypedChar(*target, keyAscii); });
}

} // namespace editor::modMain
