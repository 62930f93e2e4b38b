#pragma once
// The main window with its real views over a temporary application folder, shared by
// the window's tests (one executable).
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "desktop/frmCheck4Updates.h"
#include "editor/frmMain.h"
#include "platform/AppFolder.h"
#include "platform/widgets/BrowserView.h"
#include "platform/widgets/DesignView.h"
#include "platform/widgets/SourceView.h"

#include <QSignalSpy>
#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>
#include <memory>

class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setApplicationFolder(dir.path());
        window = std::make_unique<editor::frmMain>();
    }
    void TearDown() override
    {
        if (auto *check = desktop::frmCheck4Updates::instance())
            check->unload();
        window.reset();
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    // Writes `html` to `name` in the test folder and opens it in the editor.
    QString openWith(const QString &name, const QByteArray &html)
    {
        testing_support::writeAll(path(name), html);
        EXPECT_TRUE(window->openPage(path(name)));
        return path(name);
    }
    auto designView() const { return window->findChild<platform::DesignView *>("DHTMLEdit1"); }
    auto sourceView() const { return window->findChild<platform::SourceView *>("rtbHTMLSource"); }
    auto previewView() const { return window->findChild<platform::BrowserView *>("WebBrowser1"); }

    QTemporaryDir dir;
    testing_support::RecordingDialogs dialogs;
    std::unique_ptr<editor::frmMain> window;
};
