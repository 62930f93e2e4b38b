#pragma once
// The dialogs of a program without a window: every message becomes one line on
// standard error, every question takes its safe answer (No, Cancel) and every file,
// folder or colour dialog is cancelled, so logic written for the window never waits
// on a user who is not there.

#include "platform/Dialogs.h"

namespace cli {

class ConsoleDialogs final : public platform::Dialogs {
public:
    // `prefix` starts each line, e.g. "quillmark generate".
    explicit ConsoleDialogs(QString prefix) : m_prefix(std::move(prefix)) {}

    platform::Answer message(const QString &text, const QString &title, platform::Buttons buttons,
                             platform::Icon icon, QWidget *parent = nullptr) override;
    QString openFile(const platform::FileRequest &, QWidget *) override { return {}; }
    QStringList openFiles(const platform::FileRequest &, QWidget *) override { return {}; }
    QString saveFile(const platform::FileRequest &, QWidget *) override { return {}; }
    QString chooseFolder(const QString &, const QString &, QWidget *) override { return {}; }
    std::optional<platform::ColorValue> chooseColor(platform::ColorValue, QWidget *) override { return {}; }
    std::optional<QFont> chooseFont(const QFont &, QWidget *) override { return {}; }
    std::optional<QString> askText(const QString &, const QString &, const QString &, QWidget *) override
    {
        return {};
    }

    int messageCount() const { return m_count; }

private:
    QString m_prefix;
    int m_count = 0;
};

// Text as one line: line breaks and runs of blanks become single spaces.
QString OneLine(const QString &text);

} // namespace cli
