#include "platform/widgets/SourceView.h"

#include "editor/source/HtmlText.h"
#include "editor/source/SourceText.h"

#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QPaintEvent>
#include <QPointer>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

// The document holds one character per line end (its block separator), so Text()
// gives "\n" line ends and every position counts a line end as one character.
// The file's own line ends are remembered and written back by SaveFile: the form
// the file mostly uses as the default, and, in a file that mixes forms, the form of
// each line that differs in the block's user state.
//
// Colours live in `m_colors`, runs over document positions kept in step with every
// edit by contentsChange. A paint gives the blocks on screen their colours as layout
// formats, so colouring a 20 MB page costs the runs, not a million document edits.
//
// A line too long to lay out at once (a minified page) is shown in pieces, split by
// soft breaks: block ends that are no part of the text. Text(), every position,
// copies and SaveFile skip them.

namespace platform {

namespace {

// The user state of a block that ends in a soft break; the other states are line-end
// forms (0 to 2), or -1 for the text's usual form.
constexpr int kSoftBreak = textmodel::kSoftBreakEnd;

QColor toQColor(textmodel::ColorValue c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The document's block separators in `text` as "\n", in place: eight characters at a
// time, as a 20 MB page holds few of them.
void separatorsToLineFeeds(QString &text)
{
    char16_t *p = reinterpret_cast<char16_t *>(text.data());
    char16_t *const end = p + text.size();
#ifdef __SSE2__
    const __m128i separator = _mm_set1_epi16(short(QChar::ParagraphSeparator));
    const __m128i lineFeed = _mm_set1_epi16(u'\n');
    for (; end - p >= 8; p += 8) {
        const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i found = _mm_cmpeq_epi16(chars, separator);
        if (_mm_movemask_epi8(found))
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p),
                             _mm_or_si128(_mm_andnot_si128(found, chars), _mm_and_si128(found, lineFeed)));
    }
#endif
    for (; p != end; ++p)
        if (*p == QChar::ParagraphSeparator)
            *p = u'\n';
}

} // namespace

// The colours of one replacePlaces step: an undo or redo hands the view the colours
// of the text it brings back and keeps those of the text it takes away. The document
// reports the change only after the whole step, so the view's spans still describe
// the text before it when undo() or redo() runs here. A step that spans or brings
// line ends also hands over the line-end states of the lines it brings back (the
// document's undo makes new blocks, without them).
class SourceView::ColorStep : public QAbstractUndoItem {
public:
    ColorStep(SourceView *view, int start, int oldEnd, int newEnd,
              std::vector<textmodel::ColorSpans::Span> old, std::vector<int> oldStates,
              std::vector<int> newStates)
        : m_view(view), m_start(start), m_oldEnd(oldEnd), m_newEnd(newEnd), m_colors(std::move(old)),
          m_oldStates(std::move(oldStates)), m_newStates(std::move(newStates))
    {
    }
    void undo() override { swap(m_newEnd, m_oldEnd, m_oldStates); }
    void redo() override { swap(m_oldEnd, m_newEnd, m_newStates); }

private:
    void swap(int shownEnd, int restoredEnd, const std::vector<int> &states)
    {
        if (!m_view)
            return;
        std::vector<textmodel::ColorSpans::Span> shown = m_view->m_colors.slice(m_start, shownEnd);
        m_view->m_restoredColors = {m_start, restoredEnd, std::move(m_colors), states};
        m_colors = std::move(shown);
    }

    QPointer<SourceView> m_view;
    int m_start, m_oldEnd, m_newEnd;
    std::vector<textmodel::ColorSpans::Span> m_colors;
    std::vector<int> m_oldStates, m_newStates; // of the lines from m_start's on, or none
};

SourceView::SourceView(QWidget *parent) : QPlainTextEdit(parent)
{
    // The colours are fixed (black text, blue tags ...), so the background is too.
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(document(), &QTextDocument::contentsChange, this, &SourceView::onContentsChange);
    // A colour set for the text typed next holds only where it was set.
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (m_hasTypingColor && textCursor().position() != m_typingPosition)
            m_hasTypingColor = false;
    });
}

SourceView::~SourceView() = default;

QString SourceView::Text() const
{
    QString text = document()->toRawText();
    dropSoftBreaks(text, 0);
    separatorsToLineFeeds(text);
    return text;
}

// Removes from `text`, which starts at document position `from`, the soft breaks.
void SourceView::dropSoftBreaks(QString &text, int from) const
{
    if (!m_softBreaks)
        return;
    const std::vector<int> &breaks = softBreaks();
    auto it = std::lower_bound(breaks.begin(), breaks.end(), from);
    auto end = std::lower_bound(it, breaks.end(), from + int(text.size()));
    if (it == end)
        return;
    QChar *out = text.data() + (*it - from);
    for (; it != end; ++it) {
        const QChar *in = text.constData() + (*it - from) + 1;
        const QChar *stop =
            text.constData() + (std::next(it) == end ? int(text.size()) : *std::next(it) - from);
        out = std::copy(in, stop, out);
    }
    text.truncate(out - text.constData());
}

// The document positions of the soft breaks, ascending, and the number of text
// characters before each.
const std::vector<int> &SourceView::softBreaks() const
{
    if (m_breaksDirty) {
        m_breaks.clear();
        m_breakTexts.clear();
        for (QTextBlock block = document()->begin(); m_softBreaks && block.isValid(); block = block.next()) {
            if (block.userState() == kSoftBreak && block.next().isValid()) {
                const int position = block.position() + block.length() - 1;
                m_breakTexts.push_back(position - int(m_breaks.size()));
                m_breaks.push_back(position);
            }
        }
        m_breaksDirty = false;
    }
    return m_breaks;
}

int SourceView::toText(int documentPosition) const
{
    if (!m_softBreaks)
        return documentPosition;
    const std::vector<int> &breaks = softBreaks();
    return documentPosition -
           int(std::lower_bound(breaks.begin(), breaks.end(), documentPosition) - breaks.begin());
}

// The document position of a text position. At a soft break, that is the end of the
// piece, or with `pastBreak` the start of the next (where the character stands).
int SourceView::toDocument(int textPosition, bool pastBreak) const
{
    if (!m_softBreaks)
        return textPosition;
    softBreaks();
    const auto breaksBefore = pastBreak
                                  ? std::upper_bound(m_breakTexts.begin(), m_breakTexts.end(), textPosition)
                                  : std::lower_bound(m_breakTexts.begin(), m_breakTexts.end(), textPosition);
    return textPosition + int(breaksBefore - m_breakTexts.begin());
}

int SourceView::characterPosition(int textPosition) const
{
    return toDocument(textPosition, true);
}

QChar SourceView::characterAt(int position) const
{
    return document()->characterAt(characterPosition(position));
}

void SourceView::fill(const QString &text)
{
    // Only a text with long lines is copied: the document takes the others as they are.
    const textmodel::SplitText split = textmodel::SplitSourceText(text, textmodel::Join::WholeLinesAsTheyAre);
    const QString &joined = split.pieces ? split.joined : text;
    const std::vector<quint8> &ends = split.ends; // for each block but the last, or none
    const int *counts = split.counts;
    m_softBreaks = split.pieces;
    m_breaksDirty = true;
    m_lineEnd = split.usual;

    // The document's own setPlainText: QPlainTextEdit's would also give the whole text
    // the caret's character format, a pass over the page that changes nothing here (the
    // colours are kept beside the text). As there, the caret is taken off the document
    // while it fills, so it is not carried to the end of the text, block by block, and
    // then shown there. Disabling undo empties the stack.
    document()->setUndoRedoEnabled(false);
    setTextCursor(QTextCursor());
    document()->setPlainText(joined);
    document()->setModified(false);
    m_colors.reset();
    m_restoredColors = {};
    m_length = document()->characterCount();
    m_blockCount = document()->blockCount();
    m_hasTypingColor = false;
    if (!ends.empty() && size_t(counts[int(m_lineEnd)]) != ends.size()) {
        QTextBlock block = document()->begin();
        for (quint8 end : ends) {
            if (end != quint8(m_lineEnd))
                block.setUserState(end);
            block = block.next();
        }
    }
    // Undoing an edit across a soft break could bring the break back as a line end
    // of the file, so a text with soft breaks is edited without undo.
    document()->setUndoRedoEnabled(!m_softBreaks);
    setTextCursor(QTextCursor(document()));
}

void SourceView::setText(const QString &text)
{
    m_latin1 = false;
    fill(text);
}

bool SourceView::LoadFile(const QString &path)
{
    const std::optional<textmodel::DecodedText> decoded = ReadFile(path);
    if (decoded)
        setDecodedText(*decoded);
    return decoded.has_value();
}

std::optional<textmodel::DecodedText> SourceView::ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The bytes go before the document takes the text: one copy of a big page at a time.
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return textmodel::DecodeSourceBytes(bytes);
}

void SourceView::setDecodedText(const textmodel::DecodedText &decoded)
{
    fill(decoded.text);
    m_latin1 = decoded.oneBytePerCharacter;
}

QByteArray SourceView::encodedText() const
{
    QString text;
    text.reserve(document()->characterCount() + document()->blockCount());
    const QString defaultEnd = textmodel::LineEndString(-1, m_lineEnd);
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        text += block.text();
        if (block.next().isValid()) {
            const int state = block.userState();
            if (state != kSoftBreak)
                text += state < 0 ? defaultEnd : textmodel::LineEndString(state, m_lineEnd);
        }
    }
    // A file read byte for byte: characters beyond one byte (typed since) become
    // numeric character references.
    return textmodel::EncodeHtmlText(text, m_latin1);
}

bool SourceView::SaveFile(const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = encodedText();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

int SourceView::SelStart() const
{
    return toText(textCursor().selectionStart());
}

void SourceView::setSelStart(int position)
{
    QTextCursor c = textCursor();
    c.setPosition(qBound(0, toDocument(qMax(0, position)), document()->characterCount() - 1));
    setTextCursor(c);
}

int SourceView::SelLength() const
{
    const QTextCursor c = textCursor();
    return toText(c.selectionEnd()) - toText(c.selectionStart());
}

void SourceView::setSelLength(int length)
{
    QTextCursor c = textCursor();
    const int start = c.selectionStart();
    c.setPosition(start);
    const int end = toDocument(toText(start) + qMax(0, length));
    c.setPosition(qBound(start, end, document()->characterCount() - 1), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

SourceView::ColorValue SourceView::SelColor() const
{
    const QTextCursor c = textCursor();
    if (c.hasSelection())
        return colorAt(toText(c.selectionStart()));
    return insertionColor(c.position(), 0);
}

void SourceView::setSelColor(ColorValue color)
{
    const QTextCursor c = textCursor();
    if (c.hasSelection()) {
        setColor(c.selectionStart(), c.selectionEnd(), color);
        return;
    }
    m_hasTypingColor = true;
    m_typingColor = color;
    m_typingPosition = c.position();
}

QString SourceView::SelText() const
{
    QString text = textCursor().selectedText();
    dropSoftBreaks(text, textCursor().selectionStart());
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void SourceView::setSelText(const QString &text)
{
    QTextCursor c = textCursor();
    c.insertText(text);
    setTextCursor(c);
}

void SourceView::replacePlaces(const std::vector<textmodel::Replacement> &places)
{
    if (places.empty())
        return;
    const auto bringsLineEnds = [](const QString &text) {
        for (const QChar ch : text)
            if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r') || ch == QChar::ParagraphSeparator)
                return true;
        return false;
    };
    // Document positions first: the edits below move the soft breaks. A replacement
    // takes the colour of the last character it replaces, found in one walk over the
    // colour spans.
    struct Place {
        int start, end;
        bool brings; // line ends
        ColorValue color;
    };
    std::vector<Place> spans;
    spans.reserve(places.size());
    const std::vector<textmodel::ColorSpans::Span> &colors = m_colors.spans();
    size_t color = 0;
    bool linesChange = false; // some place spans or brings a line end
    QTextBlock block = document()->begin();
    int blockEnd = block.length() - 1; // the position of its line end
    for (const textmodel::Replacement &place : places) {
        const int start = characterPosition(int(place.start));
        const int end = toDocument(int(place.start + place.length), true);
        while (color + 1 < colors.size() && colors[color + 1].start < end)
            ++color;
        while (!linesChange && blockEnd < start) {
            block = block.next();
            blockEnd += block.length();
        }
        const bool brings = bringsLineEnds(place.text);
        linesChange = linesChange || brings || end > blockEnd;
        spans.push_back({start, end, brings, end > start ? colors[color].color : insertionColor(start, 0)});
    }
    // From the last place back, so the places before keep their positions. A place that
    // spans line ends leaves the state of the one it ended in on its line, as the
    // document merges blocks; one that brings line ends leaves it on its last line.
    const int first = spans.front().start;
    const int oldEnd = spans.back().end;
    const int oldLength = m_length;
    std::vector<textmodel::ColorSpans::Span> oldColors = m_colors.slice(first, oldEnd);
    const bool undoable = document()->isUndoRedoEnabled();
    std::vector<int> oldStates = undoable && linesChange ? lineStates(first, oldEnd) : std::vector<int>();
    std::vector<textmodel::ColorSpans::Edit> colorEdits(places.size());
    m_replacing = true;
    QTextCursor c(document());
    c.beginEditBlock();
    // The view never formats its document: all of it has the one character format.
    c.setPosition(spans.back().end);
    QTextCharFormat format = c.charFormat();
    format.clearProperty(QTextFormat::ObjectType);
    for (size_t i = places.size(); i-- > 0;) {
        const auto [start, end, brings, color] = spans[i];
        const int endState = brings ? document()->findBlock(end).userState() : 0;
        c.setPosition(start);
        c.setPosition(end, QTextCursor::KeepAnchor);
        c.insertText(places[i].text, format);
        colorEdits[i] = {start, end - start, c.position() - start, color};
        if (brings) {
            for (QTextBlock b = document()->findBlock(start); b.isValid() && b != c.block(); b = b.next())
                b.setUserState(-1);
            c.block().setUserState(endState);
        }
    }
    if (undoable) {
        const int newEnd = oldEnd + document()->characterCount() - oldLength;
        document()->appendUndoItem(
            new ColorStep(this, first, oldEnd, newEnd, std::move(oldColors), std::move(oldStates),
                          linesChange ? lineStates(first, newEnd) : std::vector<int>()));
    }
    c.endEditBlock();
    m_replacing = false;
    m_breaksDirty = true;
    // The text between the places keeps its colours: one pass over the spans, where
    // the document reports the whole step as one change.
    m_colors.editMany(colorEdits);
    viewport()->update();
}

// The user states of the blocks from the one holding `start` to the one holding `end`.
std::vector<int> SourceView::lineStates(int start, int end) const
{
    std::vector<int> states;
    const QTextBlock last = document()->findBlock(end);
    for (QTextBlock b = document()->findBlock(start); b.isValid(); b = b.next()) {
        states.push_back(b.userState());
        if (b == last)
            break;
    }
    return states;
}

void SourceView::SetFocus()
{
    if (isEnabled() && isVisible())
        setFocus(Qt::OtherFocusReason);
}

const QTextCharFormat &SourceView::formatFor(ColorValue color)
{
    for (int i = 0; i < m_formatCount; ++i)
        if (m_formatColors[i] == color)
            return m_formats[i];
    // A handful of colours is ever used; the last slot is reused beyond that.
    const int slot = m_formatCount < kFormatSlots ? m_formatCount++ : kFormatSlots - 1;
    m_formatColors[slot] = color;
    m_formats[slot] = QTextCharFormat();
    m_formats[slot].setForeground(toQColor(color));
    return m_formats[slot];
}

void SourceView::applyColorRuns(const textmodel::ColorRuns &runs)
{
    if (!m_softBreaks) {
        overlay(runs);
        return;
    }
    textmodel::ColorRuns mapped;
    mapped.reserve(runs.size());
    for (const textmodel::ColorRun &run : runs) {
        const int start = characterPosition(run.start);
        mapped.push_back(
            textmodel::ColorRun{start, toDocument(run.start + qMax(0, run.length)) - start, run.color});
    }
    overlay(mapped);
}

SourceView::ColorValue SourceView::colorAt(int position) const
{
    return colorAtDoc(characterPosition(position));
}

SourceView::ColorValue SourceView::colorAtDoc(int position) const
{
    return m_colors.colorAt(position);
}

// The colour text inserted at `position` takes, as a rich text box gives it: the
// colour set for typing there; over a selection, the colour of its last character;
// else the colour of the character before, or at the start of a line the first
// character's.
SourceView::ColorValue SourceView::insertionColor(int position, int removed) const
{
    if (removed > 0)
        return colorAtDoc(position + removed - 1);
    if (m_hasTypingColor && position == m_typingPosition)
        return m_typingColor;
    const QTextBlock block = document()->findBlock(position);
    const bool lineStart = block.position() == position && block.previous().userState() != kSoftBreak;
    if (position > 0 && !(lineStart && block.length() > 1))
        return colorAtDoc(position - 1);
    return colorAtDoc(position);
}

void SourceView::onContentsChange(int position, int removed, int added)
{
    // Line ends typed or pasted into a line: Qt leaves the block state (the form of
    // the line's end, or a soft break) on the first of the new blocks, but that line
    // end now closes the last of them, and the new ones are plain line ends. (The
    // view never formats its document, so every change reported is an edit.)
    const int oldBlockCount = m_blockCount;
    m_blockCount = document()->blockCount();
    // A change that keeps every line end of the text (many places replaced inside
    // their lines, or that undone) leaves the states where they are. (A text with soft
    // breaks has no undo.)
    QTextBlock head;
    if (!m_replacing && (m_blockCount != oldBlockCount || m_softBreaks) &&
        (head = document()->findBlock(position)).userState() != -1) {
        QTextBlock tail = document()->findBlock(position + added);
        if (tail.blockNumber() > head.blockNumber()) {
            tail.setUserState(head.userState());
            head.setUserState(-1);
        }
    }

    const int oldLength = m_length;
    m_length = document()->characterCount();
    position = qBound(0, position, oldLength - 1);
    removed = qBound(0, removed, oldLength - 1 - position);
    // Qt may report a change at the start wider than it was; the lengths decide.
    added = m_length - (oldLength - removed);
    if (added < 0) {
        m_colors.reset();
        m_breaksDirty = true;
        return;
    }
    // An edit inside one block moves the soft breaks after it; any other change of
    // blocks has them found again.
    if (m_softBreaks && !m_breaksDirty) {
        if (m_blockCount == oldBlockCount &&
            document()->findBlock(position) == document()->findBlock(position + added)) {
            const int delta = added - removed;
            for (auto it = std::lower_bound(m_breaks.begin(), m_breaks.end(), position); it != m_breaks.end();
                 ++it) {
                *it += delta;
                m_breakTexts[size_t(it - m_breaks.begin())] += delta;
            }
        } else {
            m_breaksDirty = true;
        }
    }
    if (!m_replacing)
        m_colors.edit(position, removed, added, insertionColor(position, removed));
    if (m_restoredColors.start >= 0) {
        m_colors.assign(m_restoredColors.start, qMin(m_restoredColors.end, m_length), m_restoredColors.spans);
        QTextBlock block = document()->findBlock(m_restoredColors.start);
        for (auto it = m_restoredColors.states.begin();
             it != m_restoredColors.states.end() && block.isValid(); ++it, block = block.next())
            block.setUserState(*it);
        m_restoredColors = {};
        viewport()->update();
    }
}

void SourceView::setColor(int start, int end, ColorValue color)
{
    overlay({textmodel::ColorRun{start, end - start, color}});
}

void SourceView::overlay(const textmodel::ColorRuns &runs)
{
    if (m_colors.overlay(runs, m_length))
        viewport()->update();
}

void SourceView::paintEvent(QPaintEvent *event)
{
    formatVisibleBlocks();
    QPlainTextEdit::paintEvent(event);
}

// Gives each block on screen the colours of its spans as layout formats. Only a
// block whose formats differ is laid out again.
void SourceView::formatVisibleBlocks()
{
    const QPointF offset = contentOffset();
    const qreal bottom = viewport()->height();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        if (blockBoundingGeometry(block).translated(offset).top() > bottom)
            break;
        QTextLayout *layout = block.layout();
        if (!block.isVisible() || !layout || !layout->preeditAreaText().isEmpty())
            continue; // the input method's own formats stay while it composes
        const int start = block.position();
        const int end = start + block.length() - 1;
        QList<QTextLayout::FormatRange> ranges;
        m_colors.forEach(start, end, [&](int from, int to, ColorValue color) {
            if (color != 0)
                ranges.append(QTextLayout::FormatRange{from - start, to - from, formatFor(color)});
        });
        if (layout->formats() != ranges) {
            layout->setFormats(ranges);
            document()->markContentsDirty(start, block.length());
        }
    }
}

void SourceView::setKeyPressHook(KeyPressHook hook)
{
    m_hook = std::move(hook);
}

// Pasted or dropped text with a very long line is split like a loaded one. Its line
// ends take the text's usual form.
void SourceView::insertFromMimeData(const QMimeData *source)
{
    textmodel::SplitText split;
    if (isReadOnly() || !source->hasText() || !(split = textmodel::SplitSourceText(source->text())).pieces) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    const QString &joined = split.joined;
    const std::vector<quint8> &ends = split.ends;
    if (!m_softBreaks) {
        m_softBreaks = true;
        document()->setUndoRedoEnabled(false); // as in fill()
    }
    QTextCursor c = textCursor();
    const int start = c.selectionStart();
    c.insertText(joined);
    // The block that held the selection's end state is now the last new one (see
    // onContentsChange); the others get theirs here.
    QTextBlock block = document()->findBlock(start);
    for (quint8 end : ends) {
        block.setUserState(end == kSoftBreak ? kSoftBreak : -1);
        block = block.next();
    }
    m_breaksDirty = true;
    setTextCursor(c);
    ensureCursorVisible();
}

QMimeData *SourceView::createMimeDataFromSelection() const
{
    auto *mime = new QMimeData;
    mime->setText(SelText()); // no soft breaks
    return mime;
}

void SourceView::keyPressEvent(QKeyEvent *event)
{
    // Backspace and Delete at a soft break delete the text character beyond it, as
    // they would in the unbroken line.
    if (m_softBreaks && !textCursor().hasSelection() && !(event->modifiers() & ~Qt::KeypadModifier)) {
        QTextCursor c = textCursor();
        const QTextBlock block = c.block();
        if (event->key() == Qt::Key_Backspace && c.atBlockStart() &&
            block.previous().userState() == kSoftBreak) {
            c.movePosition(QTextCursor::PreviousCharacter);
            setTextCursor(c);
        } else if (event->key() == Qt::Key_Delete && c.atBlockEnd() && block.userState() == kSoftBreak &&
                   block.next().isValid()) {
            c.movePosition(QTextCursor::NextCharacter);
            setTextCursor(c);
        }
    }
    const QString text = event->text();
    const bool typed = m_hook && !isReadOnly() && text.size() == 1 &&
                       (text.at(0).unicode() >= 0x20 || text.at(0) == QLatin1Char('\t')) &&
                       text.at(0).unicode() != 0x7F &&
                       !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    if (!typed) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    const int key = m_hook(text.at(0).unicode());
    if (key == 0) {
        event->accept();
        return;
    }
    if (key == text.at(0).unicode()) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    QKeyEvent replaced(event->type(), event->key(), event->modifiers(), QString(QChar(char16_t(key))),
                       event->isAutoRepeat(), ushort(event->count()));
    QPlainTextEdit::keyPressEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

} // namespace platform
