#pragma once
// A Dialogs double: answers from queues filled by the test (cancel when a queue is
// empty) and records every message and every file request.

#include "platform/Dialogs.h"

#include <deque>
#include <vector>

namespace testing_support {

struct RecordedMessage {
    QString text;
    QString title;
    platform::Buttons buttons;
    platform::Icon icon;
    QStringList choices; // the buttons of a choose() question
};

class RecordingDialogs final : public platform::Dialogs {
public:
    RecordingDialogs();           // installs itself
    ~RecordingDialogs() override; // restores the fallback

    // Scripted answers, taken front first.
    std::deque<platform::Answer> answers; // for questions (not OK-only boxes); when empty: Ok/Yes
    std::deque<int> choices;              // for choose(); when empty: -1 (closed)
    std::deque<QString> files;            // openFile / saveFile; "" = cancel
    std::deque<QStringList> fileLists;    // openFiles
    std::deque<QString> folders;          // chooseFolder
    std::deque<std::optional<platform::ColorValue>> colors;
    std::deque<std::optional<QFont>> fonts;
    std::deque<std::optional<QString>> texts; // askText, askPassword

    // What the program asked.
    std::vector<RecordedMessage> messages;
    std::vector<platform::FileRequest> fileRequests;
    std::vector<QString> folderStarts;
    std::vector<QString> textPrompts;

    QStringList messageTexts() const;
    QString lastMessage() const;

    platform::Answer message(const QString &text, const QString &title, platform::Buttons buttons,
                             platform::Icon icon, QWidget *parent = nullptr) override;
    int choose(const QString &text, const QString &title, const QStringList &buttons, platform::Icon icon,
               QWidget *parent = nullptr) override;
    QString openFile(const platform::FileRequest &request, QWidget *parent = nullptr) override;
    QStringList openFiles(const platform::FileRequest &request, QWidget *parent = nullptr) override;
    QString saveFile(const platform::FileRequest &request, QWidget *parent = nullptr) override;
    QString chooseFolder(const QString &title, const QString &startFolder,
                         QWidget *parent = nullptr) override;
    std::optional<platform::ColorValue> chooseColor(platform::ColorValue initial,
                                                    QWidget *parent = nullptr) override;
    std::optional<QFont> chooseFont(const QFont &initial, QWidget *parent = nullptr) override;
    std::optional<QString> askText(const QString &title, const QString &label, const QString &initial,
                                   QWidget *parent = nullptr) override;
    std::optional<QString> askPassword(const QString &title, const QString &label, QWidget *) override
    {
        return askText(title, label, {});
    }
};

} // namespace testing_support
