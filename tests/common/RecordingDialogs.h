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
    RecordingDialogs() { platform::setDialogs(this); }
    ~RecordingDialogs() override { platform::setDialogs(nullptr); }

    // Scripted answers, taken front first.
    std::deque<platform::Answer> answers; // for questions (not OK-only boxes); when empty: Ok/Yes
    std::deque<int> choices;              // for choose(); when empty: -1 (closed)
    std::deque<QString> files;            // openFile / saveFile; "" = cancel
    std::deque<QString> folders;          // chooseFolder
    std::deque<std::optional<platform::ColorValue>> colors;
    std::deque<std::optional<QFont>> fonts;
    std::deque<std::optional<QString>> texts; // askText, askPassword
    std::vector<QString> textPrompts;         // their labels

    // What the program asked.
    std::vector<RecordedMessage> messages;
    std::vector<platform::FileRequest> fileRequests;

    QStringList messageTexts() const
    {
        QStringList out;
        for (const auto &m : messages)
            out << m.text;
        return out;
    }
    QString lastMessage() const { return messages.empty() ? QString() : messages.back().text; }

    platform::Answer message(const QString &text, const QString &title, platform::Buttons buttons,
                             platform::Icon icon, QWidget * = nullptr) override
    {
        messages.push_back({text, title, buttons, icon, {}});
        // An OK-only box has one possible answer; it does not use up a scripted one.
        if (buttons == platform::Buttons::Ok)
            return platform::Answer::Ok;
        return take(answers,
                    buttons == platform::Buttons::OkCancel ? platform::Answer::Ok : platform::Answer::Yes);
    }
    int choose(const QString &text, const QString &title, const QStringList &buttons, platform::Icon icon,
               QWidget * = nullptr) override
    {
        messages.push_back({text, title, platform::Buttons::YesNoCancel, icon, buttons});
        return take(choices, -1);
    }
    QString openFile(const platform::FileRequest &request, QWidget * = nullptr) override
    {
        fileRequests.push_back(request);
        return take(files, QString());
    }
    QStringList openFiles(const platform::FileRequest &request, QWidget * = nullptr) override
    {
        fileRequests.push_back(request);
        return {};
    }
    QString saveFile(const platform::FileRequest &request, QWidget *parent = nullptr) override
    {
        return openFile(request, parent);
    }
    QString chooseFolder(const QString &, const QString &, QWidget * = nullptr) override
    {
        return take(folders, QString());
    }
    std::optional<platform::ColorValue> chooseColor(platform::ColorValue, QWidget * = nullptr) override
    {
        return take(colors, std::optional<platform::ColorValue>());
    }
    std::optional<QFont> chooseFont(const QFont &, QWidget * = nullptr) override
    {
        return take(fonts, std::optional<QFont>());
    }
    std::optional<QString> askText(const QString &, const QString &label, const QString &,
                                   QWidget * = nullptr) override
    {
        textPrompts.push_back(label);
        return take(texts, std::optional<QString>());
    }
    std::optional<QString> askPassword(const QString &title, const QString &label, QWidget *) override
    {
        return askText(title, label, {});
    }

private:
    template <typename T> static T take(std::deque<T> &queue, T fallback)
    {
        if (!queue.empty()) {
            fallback = std::move(queue.front());
            queue.pop_front();
        }
        return fallback;
    }
};

} // namespace testing_support
