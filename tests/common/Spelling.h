#pragma once
// Asks the design view whether it marks a word as misspelt, as the user would see it:
// a space typed after the text starts the check, then a right-click on the word.
#include "TestSupport.h"
#include "platform/widgets/DesignView.h"

#include <QMenu>
#include <QTest>
#include <QWebEngineContextMenuRequest>

namespace testing_support {

// The menu shown on `word` in the text of the element with id `elementId` once the
// view reports the word misspelt (open; the caller closes it), or nullptr when it
// never does.
inline QMenu *menuOnMisspeltWord(platform::DesignView &design, const QString &elementId, const QString &word)
{
    QWidget *window = design.window();
    window->show();
    window->activateWindow();
    design.setFocus();
    if (!QTest::qWaitForWindowActive(window))
        return nullptr;
    const QString text = QStringLiteral("document.getElementById('%1').firstChild").arg(elementId);
    design.runScript(QStringLiteral("var t = %1; getSelection().collapse(t, t.length); true").arg(text));
    QTest::keyClick(design.focusProxy(), Qt::Key_Space);
    const QVariantList box =
        design
            .runScript(QStringLiteral("var t = %1; var r = document.createRange();"
                                      " var i = t.data.indexOf('%2'); r.setStart(t, i);"
                                      " r.setEnd(t, i + %3); var b = r.getBoundingClientRect();"
                                      " [b.left, b.top, b.width, b.height]")
                           .arg(text, word)
                           .arg(word.size()))
            .toList();
    if (box.size() != 4)
        return nullptr;
    const QPoint at = QRect(box[0].toInt(), box[1].toInt(), box[2].toInt(), box[3].toInt()).center();
    QMenu *shown = nullptr;
    const auto connection = QObject::connect(&design, &platform::DesignView::contextMenuShown,
                                             [&](QMenu *menu) { shown = menu; });
    // The check runs in the background: ask again until the word is marked.
    const bool marked = testing_support::waitFor(
        [&] {
            QTest::mouseClick(design.focusProxy(), Qt::RightButton, {}, at);
            if (!testing_support::waitFor([&] { return shown != nullptr; }, 2000))
                return false;
            const bool misspelt =
                design.lastContextMenuRequest() && design.lastContextMenuRequest()->misspelledWord() == word;
            if (!misspelt) {
                shown->close();
                shown = nullptr;
            }
            return misspelt;
        },
        20000);
    QObject::disconnect(connection);
    return marked ? shown : nullptr;
}

} // namespace testing_support
