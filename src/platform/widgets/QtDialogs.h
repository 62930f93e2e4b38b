#pragma once
// The Qt implementation of the Dialogs interface, installed by the program entry.

#include "platform/Dialogs.h"

namespace platform {

class QtDialogs final : public Dialogs {
public:
    Answer message(const QString &text, const QString &title, Buttons buttons, Icon icon,
                   QWidget *parent = nullptr) override;
    int choose(const QString &text, const QString &title, const QStringList &buttons, Icon icon,
               QWidget *parent = nullptr) override;
    QString openFile(const FileRequest &request, QWidget *parent = nullptr) override;
    QStringList openFiles(const FileRequest &request, QWidget *parent = nullptr) override;
    QString saveFile(const FileRequest &request, QWidget *parent = nullptr) override;
    QString chooseFolder(const QString &title, const QString &startFolder,
                         QWidget *parent = nullptr) override;
    std::optional<ColorValue> chooseColor(ColorValue initial, QWidget *parent = nullptr) override;
    std::optional<QFont> chooseFont(const QFont &initial, QWidget *parent = nullptr) override;
    std::optional<QString> askText(const QString &title, const QString &label, const QString &initial,
                                   QWidget *parent = nullptr) override;
    std::optional<QString> askPassword(const QString &title, const QString &label,
                                       QWidget *parent = nullptr) override;
};

} // namespace platform
