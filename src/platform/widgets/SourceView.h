#pragma once
// The source view: the HTML as plain text with a colour per character range, a
// selection API in characters, and a hook that sees every typed character first.

#include "editor/source/ColorRun.h"
#include "editor/source/ColorSpans.h"
#include "editor/source/SourceText.h"

#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <functional>
#include <optional>
#include <vector>

namespace platform {

// Positions (SelStart, SelLength, colour runs) count characters of Text(), in which
// every line end is one "\n"; LoadFile and SaveFile keep the file's own line ends.
// A line of more than 64K characters is shown in pieces of about 1K, but stays one
// line in the text and the file; such a text is edited without undo.
class SourceView : public QPlainTextEdit {
    Q_OBJECT
public:
    using LineEnd = textmodel::LineEnd;
    using ColorValue = textmodel::ColorValue; // the same type as platform::ColorValue

    explicit SourceView(QWidget *parent = nullptr);
    ~SourceView() override;

    QString Text() const; // line ends as "\n"
    // The whole text, in one colour (black). Any line-end form is accepted and kept
    // for SaveFile (CR LF when the text has none).
    void setText(const QString &text);

    // Plain-text file I/O in the locale's 8-bit encoding, the text unchanged
    // (CR LF kept). A file whose bytes are not valid in that encoding is read one
    // byte per character and written back the same way (characters typed since that
    // need more than a byte are written as HTML character references). SaveFile
    // writes through a temporary file and a rename.
    bool LoadFile(const QString &path);
    bool SaveFile(const QString &path);
    // LoadFile in two steps, so a caller can hold the text until the view is needed.
    static std::optional<textmodel::DecodedText> ReadFile(const QString &path);
    void setDecodedText(const textmodel::DecodedText &decoded);
    // The bytes SaveFile writes.
    QByteArray fileBytes() const { return encodedText(); }
    // The line-end form SaveFile writes where a line's own form is not known.
    LineEnd lineEnd() const { return m_lineEnd; }

    int SelStart() const;
    void setSelStart(int position); // collapses the selection to the caret
    int SelLength() const;
    void setSelLength(int length);
    ColorValue SelColor() const;
    // Colours the selection, or with no selection the text typed next.
    void setSelColor(ColorValue color);
    QString SelText() const;
    QChar characterAt(int position) const;
    void setSelText(const QString &text); // replaces the selection; caret after it
    // Replaces each place (positions in Text(), ascending, not overlapping) by its
    // text in one edit: one undo step, and the text between the places, with its line
    // ends and colours, stays as it is. A replacement takes the colour of the last
    // character it replaces; undo and redo bring back the colours of their text.
    void replacePlaces(const std::vector<textmodel::Replacement> &places);
    void SetFocus();

    // Colours the runs. The colours are kept beside the text, not in it: colouring
    // costs no document edit, no undo step and no layout, and only the lines on
    // screen are formatted when painted. Typed and pasted text takes the colour in
    // force (setSelColor without a selection) or else the colour before it.
    void applyColorRuns(const textmodel::ColorRuns &runs);
    // The colour of the character at `position` (for tests and the colouring).
    ColorValue colorAt(int position) const;

    // Called with the code of each typed printable character before it is
    // inserted; returns the code to insert, or 0 to swallow it. The character is
    // inserted in the colour in force after the hook ran.
    using KeyPressHook = std::function<int(int keyAscii)>;
    void setKeyPressHook(KeyPressHook hook);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData *source) override;
    void paintEvent(QPaintEvent *event) override;

private:
    class ColorStep;
    void fill(const QString &text);
    QByteArray encodedText() const;
    const QTextCharFormat &formatFor(ColorValue color);
    void onContentsChange(int position, int removed, int added);
    ColorValue colorAtDoc(int position) const;
    ColorValue insertionColor(int position, int removed) const;
    std::vector<int> lineStates(int start, int end) const;
    void overlay(const textmodel::ColorRuns &runs);
    void setColor(int start, int end, ColorValue color);
    void formatVisibleBlocks();
    void dropSoftBreaks(QString &text, int from) const;
    const std::vector<int> &softBreaks() const;
    int toText(int documentPosition) const;
    int toDocument(int textPosition, bool pastBreak = false) const;
    int characterPosition(int textPosition) const;

    KeyPressHook m_hook;
    LineEnd m_lineEnd = LineEnd::CrLf;
    bool m_latin1 = false; // the file was not valid in the locale's encoding
    static constexpr int kFormatSlots = 8;
    QTextCharFormat m_formats[kFormatSlots];
    ColorValue m_formatColors[kFormatSlots] = {};
    int m_formatCount = 0;

    textmodel::ColorSpans m_colors; // over document positions
    int m_length = 1;               // the document's characterCount()
    int m_blockCount = 1;
    bool m_replacing = false; // replacePlaces keeps the line-end states and colours itself
    // The colours an undo or redo of replacePlaces brings back, laid on when the
    // document reports the change.
    struct RestoredColors {
        int start = -1;
        int end = -1;
        std::vector<textmodel::ColorSpans::Span> spans;
        std::vector<int> states; // the line-end states of the lines from start's on
    } m_restoredColors;
    bool m_hasTypingColor = false; // setSelColor with no selection ...
    ColorValue m_typingColor = 0;
    int m_typingPosition = -1; // ... at this caret position

    // Lines too long to lay out at once are shown in pieces, split by soft breaks:
    // block ends that are no part of the text. Positions given out count text
    // characters only.
    bool m_softBreaks = false;
    mutable bool m_breaksDirty = true;
    mutable std::vector<int> m_breaks;     // document positions of the soft breaks
    mutable std::vector<int> m_breakTexts; // the text position of each
};

} // namespace platform
