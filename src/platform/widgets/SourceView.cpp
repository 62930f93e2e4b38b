#include "platform/widgets/SourceView.h"

#include <QFile>
#include <QKeyEvent>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

// The document holds one character per line end (its block separator), so Text()
// gives "\n" line ends and every position counts a line end as one character.
// The file's own line ends are remembered and written back by SaveFile: the form
// the file mostly uses as the default, and, in a file that mixes forms, the form of
// each line that differs in the block's user state.

namespace platform {

namespace {

constexpr int kLongLine = 64 * 1024; // characters

QColor toQColor(ColorValue c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

ColorValue fromQColor(const QColor &c)
{
    return ColorValue(c.red()) | (ColorValue(c.green()) << 8) | (ColorValue(c.blue()) << 16);
}

ColorValue colorOf(const QTextCharFormat &format)
{
    return format.hasProperty(QTextFormat::ForegroundBrush) ? fromQColor(format.foreground().color()) : 0;
}

const char *lineEndText(SourceView::LineEnd form)
{
    switch (form) {
    case SourceView::LineEnd::Lf:
        return "\n";
    case SourceView::LineEnd::Cr:
        return "\r";
    case SourceView::LineEnd::CrLf:
        break;
    }
    return "\r\n";
}

} // namespace

SourceView::SourceView(QWidget *parent) : QPlainTextEdit(parent)
{
    // The colours are fixed (black text, blue tags ...), so the background is too.
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

SourceView::~SourceView() = default;

QString SourceView::Text() const
{
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void SourceView::fill(const QString &text)
{
    // Split into lines, noting each line's end form.
    QString joined;
    joined.reserve(text.size());
    std::vector<LineEnd> ends;
    int counts[3] = {0, 0, 0};
    const qsizetype n = text.size();
    const QChar *p = text.constData();
    qsizetype lineStart = 0;
    qsizetype longest = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = p[i];
        if (ch != QLatin1Char('\r') && ch != QLatin1Char('\n') && ch != QChar::ParagraphSeparator)
            continue;
        LineEnd form = LineEnd::Lf;
        qsizetype next = i + 1;
        if (ch == QLatin1Char('\r')) {
            if (next < n && p[next] == QLatin1Char('\n')) {
                form = LineEnd::CrLf;
                ++next;
            } else {
                form = LineEnd::Cr;
            }
        }
        joined.append(QStringView(p + lineStart, i - lineStart));
        joined.append(QLatin1Char('\n'));
        longest = qMax(longest, i - lineStart);
        ends.push_back(form);
        ++counts[int(form)];
        lineStart = next;
        i = next - 1;
    }
    joined.append(QStringView(p + lineStart, n - lineStart));
    longest = qMax(longest, n - lineStart);

    m_lineEnd = LineEnd::CrLf; // a text without line ends is saved with CR LF
    if (!ends.empty()) {
        int best = int(LineEnd::CrLf);
        for (int k = 0; k < 3; ++k)
            if (counts[k] > counts[best])
                best = k;
        m_lineEnd = LineEnd(best);
    }

    document()->setUndoRedoEnabled(false);
    setPlainText(joined);
    if (size_t(counts[int(m_lineEnd)]) != ends.size()) {
        QTextBlock block = document()->begin();
        for (LineEnd form : ends) {
            if (form != m_lineEnd)
                block.setUserState(int(form));
            block = block.next();
        }
    }
    document()->setUndoRedoEnabled(true);
    // Qt drops a paragraph's shaped glyphs after each layout and shapes the whole
    // paragraph again for every paint and caret move: seconds each time for a line
    // of megabytes. Such lines keep their glyphs (some tens of bytes a character).
    for (QTextBlock block = document()->begin(); longest > kLongLine && block.isValid(); block = block.next())
        if (block.length() > kLongLine)
            block.layout()->setCacheEnabled(true);
    setSelStart(0);
}

void SourceView::setText(const QString &text)
{
    m_latin1 = false;
    fill(text);
}

bool SourceView::LoadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    // Bytes that are not valid in the locale's encoding are read one byte per
    // character and written back the same way, so no byte of the file is lost.
    QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    m_latin1 = decoder.hasError();
    if (m_latin1)
        text = QString::fromLatin1(bytes);
    const bool latin1 = m_latin1;
    fill(text);
    m_latin1 = latin1;
    return true;
}

QByteArray SourceView::encodedText() const
{
    QString text;
    text.reserve(document()->characterCount() + document()->blockCount());
    const QString defaultEnd = QString::fromLatin1(lineEndText(m_lineEnd));
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        text += block.text();
        if (block.next().isValid()) {
            const int state = block.userState();
            text += state >= 0 && state <= 2 ? QString::fromLatin1(lineEndText(LineEnd(state))) : defaultEnd;
        }
    }
    if (!m_latin1) {
        QStringEncoder encoder(QStringEncoder::System);
        return encoder.encode(text);
    }
    // A file read byte for byte: characters beyond one byte (typed since) become
    // numeric character references, which HTML reads back as the same character.
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t ucs = text.at(i).isHighSurrogate() && i + 1 < text.size()
                                 ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1))
                                 : text.at(i).unicode();
        if (ucs < 0x100) {
            bytes.append(char(ucs));
        } else {
            bytes.append("&#" + QByteArray::number(uint(ucs)) + ';');
            if (ucs > 0xFFFF)
                ++i;
        }
    }
    return bytes;
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
    return textCursor().selectionStart();
}

void SourceView::setSelStart(int position)
{
    QTextCursor c = textCursor();
    c.setPosition(qBound(0, position, document()->characterCount() - 1));
    setTextCursor(c);
}

int SourceView::SelLength() const
{
    const QTextCursor c = textCursor();
    return c.selectionEnd() - c.selectionStart();
}

void SourceView::setSelLength(int length)
{
    QTextCursor c = textCursor();
    const int start = c.selectionStart();
    c.setPosition(start);
    c.setPosition(qBound(start, start + qMax(0, length), document()->characterCount() - 1),
                  QTextCursor::KeepAnchor);
    setTextCursor(c);
}

ColorValue SourceView::SelColor() const
{
    const QTextCursor c = textCursor();
    if (!c.hasSelection())
        return colorOf(currentCharFormat());
    return colorAt(c.selectionStart());
}

void SourceView::setSelColor(ColorValue color)
{
    QTextCharFormat format;
    format.setForeground(toQColor(color));
    QTextCursor c = textCursor();
    c.mergeCharFormat(format);
    setTextCursor(c);
    if (!c.hasSelection())
        mergeCurrentCharFormat(format);
}

QString SourceView::SelText() const
{
    QString text = textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void SourceView::setSelText(const QString &text)
{
    QTextCursor c = textCursor();
    c.insertText(text);
    setTextCursor(c);
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

void SourceView::applyColorRuns(const ColorRuns &runs)
{
    if (runs.empty())
        return;
    const int limit = document()->characterCount() - 1;
    // With no history to keep (the usual case: the view was just filled), colouring
    // is not recorded at all; otherwise it becomes one undo step.
    QTextDocument *doc = document();
    const bool record = doc->isUndoAvailable() || doc->isRedoAvailable();
    if (!record)
        doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    for (const ColorRun &run : runs) {
        const int start = qBound(0, run.start, limit);
        const int end = qBound(start, run.start + run.length, limit);
        if (end == start)
            continue;
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.setCharFormat(formatFor(run.color));
    }
    cursor.endEditBlock();
    if (!record)
        doc->setUndoRedoEnabled(true);
}

ColorValue SourceView::colorAt(int position) const
{
    const QTextBlock block = document()->findBlock(position);
    if (!block.isValid())
        return 0;
    const int offset = position - block.position();
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (offset >= fragment.position() - block.position() &&
            offset < fragment.position() - block.position() + fragment.length())
            return colorOf(fragment.charFormat());
    }
    return colorOf(block.charFormat());
}

void SourceView::setKeyPressHook(KeyPressHook hook)
{
    m_hook = std::move(hook);
}

void SourceView::keyPressEvent(QKeyEvent *event)
{
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
