#include "RecordingDialogs.h"

namespace testing_support {
namespace {
template <typename T> T take(std::deque<T> &queue, T fallback)
{
    if (!queue.empty()) {
        fallback = std::move(queue.front());
        queue.pop_front();
    }
    return fallback;
}
} // namespace

RecordingDialogs::RecordingDialogs()
{
    platform::setDialogs(this);
}
RecordingDialogs::~RecordingDialogs()
{
    platform::setDialogs(nullptr);
}

QStringList RecordingDialogs::messageTexts() const
{
    QStringList out;
    for (const auto &m : messages)
        out << m.text;
    return out;
}

QString RecordingDialogs::lastMessage() const
{
    return messages.empty() ? QString() : messages.back().text;
}

platform::Answer RecordingDialogs::message(const QString &text, const QString &title,
                                           platform::Buttons buttons, platform::Icon icon, QWidget *)
{
    messages.push_back({text, title, buttons, icon, {}});
    // An OK-only box has one possible answer; it does not use up a scripted one.
    if (buttons == platform::Buttons::Ok)
        return platform::Answer::Ok;
    const platform::Answer fallback =
        buttons == platform::Buttons::Ok || buttons == platform::Buttons::OkCancel ? platform::Answer::Ok
                                                                                   : platform::Answer::Yes;
    return take<platform::Answer>(answers, fallback);
}

int RecordingDialogs::choose(const QString &text, const QString &title, const QStringList &buttons,
                             platform::Icon icon, QWidget *)
{
    messages.push_back({text, title, platform::Buttons::YesNoCancel, icon, buttons});
    return take(choices, -1);
}

QString RecordingDialogs::openFile(const platform::FileRequest &request, QWidget *)
{
    fileRequests.push_back(request);
    return take(files, QString());
}

QStringList RecordingDialogs::openFiles(const platform::FileRequest &request, QWidget *)
{
    fileRequests.push_back(request);
    return take(fileLists, QStringList());
}

QString RecordingDialogs::saveFile(const platform::FileRequest &request, QWidget *)
{
    fileRequests.push_back(request);
    return take(files, QString());
}

QString RecordingDialogs::chooseFolder(const QString &, const QString &startFolder, QWidget *)
{
    folderStarts.push_back(startFolder);
    return take(folders, QString());
}

std::optional<platform::ColorValue> RecordingDialogs::chooseColor(platform::ColorValue, QWidget *)
{
    return take(colors, std::optional<platform::ColorValue>());
}

std::optional<QFont> RecordingDialogs::chooseFont(const QFont &, QWidget *)
{
    return take(fonts, std::optional<QFont>());
}

std::optional<QString> RecordingDialogs::askText(const QString &, const QString &label, const QString &,
                                                 QWidget *)
{
    textPrompts.push_back(label);
    return take(texts, std::optional<QString>());
}

} // namespace testing_support
