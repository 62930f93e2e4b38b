#include "editor/logic/SourceColoring.h"

namespace editor {

using textmodel::ColorRun;
using textmodel::ColorRuns;

namespace {

void addRun(ColorRuns &out, int start, int length, textmodel::ColorValue color)
{
    if (length > 0)
        out.push_back(ColorRun{start, length, color});
}

} // namespace

void appendTagColorRuns(QStringView tag, int lt, int gt, ColorRuns &out)
{
    // s is always a suffix of the tag, so it is tracked by its length alone.
    QStringView s = tag;
    bool first = true;
    while (!s.isEmpty()) {
        const qsizetype e = s.indexOf(QLatin1Char('='));
        if (e < 0 && first) {
            addRun(out, lt - 1, gt - lt + 1, kColorTag);
            return;
        }
        if (e >= 0 && s.startsWith(QLatin1Char('<'))) {
            addRun(out, lt - 1, gt - lt + 1, kColorTag);
            s = s.mid(e + 1);
        }
        // The value runs to the first space, or, when quoted, to its closing quote.
        const qsizetype sp = s.indexOf(QLatin1Char(' '));
        qsizetype vLen = sp < 0 ? 0 : sp + 1;
        if (vLen > 0 && s.left(vLen).contains(QLatin1Char('"'))) {
            const qsizetype q = s.indexOf(QLatin1Char('"'), 1);
            if (q >= 0)
                vLen = q + 1;
        }
        const int r = gt - int(s.size());
        addRun(out, r, int(vLen), kColorValue);
        s = s.mid(vLen);
        const qsizetype eq = s.indexOf(QLatin1Char('='));
        if (eq < 0) {
            // A last unquoted value: everything up to the ">", counted from the
            // previous value's start.
            addRun(out, r, int(s.size()) - 1, kColorValue);
            return;
        }
        s = s.mid(eq + 1);
        first = false;
    }
}

ColorRuns tagColorRuns(const QString &tag, int lt, int gt)
{
    ColorRuns runs;
    appendTagColorRuns(tag, lt, gt, runs);
    return runs;
}

ColorRuns rangeColorRuns(const QString &text, int start, int end)
{
    ColorRuns runs;
    const int length = int(text.size());
    if (end == -1)
        end = length;
    if (start < 1)
        start = 1;
    // 1-based positions as in the pass itself: pos starts at `start` and goes on
    // from each tag's ">" while it lies before `end`.
    qsizetype pos = start;
    do {
        const qsizetype lt = text.indexOf(QLatin1Char('<'), pos - 1) + 1;
        if (lt == 0)
            break;
        qsizetype gt = text.indexOf(QLatin1Char('>'), lt - 1) + 1;
        if (gt == 0)
            break; // a "<" without a ">" ends the pass
        const QStringView tag = QStringView(text).mid(lt - 1, gt - lt + 1);
        if (tag.startsWith(QLatin1String("<!-"))) {
            const qsizetype close = text.indexOf(QLatin1String("->"), lt - 1);
            if (close < 0)
                break; // so does a comment without an end
            gt = close + 2;
            addRun(runs, int(lt - 1), int(gt - lt + 1), kColorComment);
        } else {
            appendTagColorRuns(tag, int(lt), int(gt), runs);
        }
        pos = gt;
    } while (pos < end);
    return runs;
}

bool ShapesColoring(QStringView text)
{
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '<':
        case '>':
        case '=':
        case '"':
        case ' ':
        case '!':
        case '-':
            return true;
        default:
            break;
        }
    }
    return false;
}

TypedCharAction typedCharAction(TypingState &state, int key, QChar charBeforeCaret)
{
    TypedCharAction action;
    action.key = key;
    const QChar ch(char16_t(key & 0xFFFF));
    if (!state.InTag && !state.InValue && !state.InComment)
        action.color = kColorText;
    if (state.InTag && (state.InValue || state.InQuotes))
        action.color = kColorValue;
    if (ch == QLatin1Char('<')) {
        action.color = kColorTag;
        state.InTag = true;
    }
    if (ch == QLatin1Char('=') && state.InTag)
        state.InValue = true;
    if (ch == QLatin1Char('"')) {
        if (state.InValue && state.InQuotes) {
            state.InValue = false;
            state.InQuotes = false;
        } else if (state.InValue && !state.InQuotes) {
            state.InQuotes = true;
        }
    }
    if (ch == QLatin1Char(' ') && !state.InQuotes && state.InTag) {
        action.color = kColorTag;
        state.InValue = false;
    }
    if (ch == QLatin1Char('!') && charBeforeCaret == QLatin1Char('<')) {
        state.InTag = false;
        state.InValue = false;
        state.InComment = true;
        action.openComment = true;
        action.color = kColorComment;
        action.key = 0;
        return action;
    }
    if (ch == QLatin1Char('>')) {
        action.color = state.InComment ? kColorComment : kColorTag;
        state.InTag = false;
        state.InComment = false;
    }
    return action;
}

TypedCharAction typedCharAction(TypingState &state, CommentCompletion &completion, int key,
                                QChar charBeforeCaret, int caret)
{
    const QChar ch(char16_t(key & 0xFFFF));
    if (completion.caret >= 0 && caret == completion.caret) {
        if (ch == QLatin1Char('-') && completion.dashesToTake > 0) {
            --completion.dashesToTake;
            TypedCharAction swallow;
            swallow.key = 0;
            return swallow;
        }
        if (ch.isLetter() && completion.dashesToTake == 2) {
            // "<!D...": a declaration is a tag, not a comment.
            completion = {};
            state.InComment = false;
            state.InTag = true;
            TypedCharAction action;
            action.key = key;
            action.takeBackComment = true;
            action.color = kColorTag;
            return action;
        }
    }
    completion = {};
    TypedCharAction action = typedCharAction(state, key, charBeforeCaret);
    if (action.openComment && caret > 0)
        completion = {caret - 1 + 4, 2};
    return action;
}

} // namespace editor
