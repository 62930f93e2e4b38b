#pragma once
// The versions kept of a server, newest first, and going back to one of them. The
// roll-back itself is the upload window's: it publishes as an upload does.

#include "publish/VersionStore.h"

#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class FrmVersions;
}

namespace publish {

class FrmVersions : public QDialog {
    Q_OBJECT
public:
    // `rollBack` is called with how many versions back the chosen one is.
    FrmVersions(const QVector<Version> &versions, std::function<void(int)> rollBack,
                QWidget *parent = nullptr);
    ~FrmVersions() override;

    // Button handler (public so that tests can press it without a modal loop).
    void cmdRollBack_Click();

    Ui::FrmVersions *ui() const { return m_ui.get(); }

private:
    std::unique_ptr<Ui::FrmVersions> m_ui;
    QVector<Version> m_versions;
    std::function<void(int)> m_rollBack;
};

} // namespace publish
