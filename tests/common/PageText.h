#pragma once
// Waits for what a WebEngine view shows as text.
#include "TestSupport.h"

#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

namespace testing_support {

// Waits until the page in `view` shows `words` as text. Each ask waits 200 ms for
// its answer; one that comes later still has its flag to write to.
inline bool showsText(QWebEngineView *view, const QString &words)
{
    return waitFor([&] {
        const auto shown = std::make_shared<bool>(false);
        view->page()->toPlainText([shown, words](const QString &text) { *shown = text.contains(words); });
        return waitFor([&] { return *shown; }, 200);
    });
}

} // namespace testing_support
