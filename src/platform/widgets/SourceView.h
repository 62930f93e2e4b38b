#pragma once
// The source view: the HTML as plain text with a colour per character range, a
// selection API in characters, and a hook that sees every typed character first.

#include "platform/ColorRun.h"

#include <QPlainTextEdit>
#include <functional>

namespace platform {

class SourceView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit SourceView(QWidget *parent = nullptr);
    ~SourceView() override;

    QString Text() const;
    void setText(const QString &text); // the whole text, in one colour (black)

    // Plain-text file I/O in the locale's 8-bit encoding, the text unchanged
    // (CR LF kept). SaveFile writes through a temporary file and a rename.
    bool LoadFile(const QString &path);
    bool SaveFile(const QString &path);

    int SelStart() const;
    void setSelStart(int position); // collapses the selection to the caret
    int SelLength() const;
    void setSelLength(int length);
    ColorValue SelColor() const;
    // Colours the selection, or with no selection the text typed next.
    void setSelColor(ColorValue color);
    QString SelText() const;
    void setSelText(const QString &text); // replaces the selection; caret after it
    void SetFocus();

    // Applies colour runs in one edit block, with no repaint or undo step per run.
    void applyColorRuns(const ColorRuns &runs);
    // The colour of the character at `position` (for tests and the colouring).
    ColorValue colorAt(int position) const;

    // Called with the code of each typed printable character before it is
    // inserted; returns the code to insert, or 0 to swallow it. The character is
    // inserted in the colour in force after the hook ran.
    using KeyPressHook = std::function<int(int keyAscii)>;
    void setKeyPressHook(KeyPressHook hook);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    KeyPressHook m_hook;
};

} // namespace platform
