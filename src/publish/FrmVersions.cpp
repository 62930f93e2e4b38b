#include "publish/FrmVersions.h"

#include "platform/Dialogs.h"
#include "ui_FrmVersions.h"

#include <QLocale>

namespace publish {

FrmVersions::FrmVersions(const QVector<Version> &versions, std::function<void(int)> rollBack, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::FrmVersions>()), m_versions(versions),
      m_rollBack(std::move(rollBack))
{
    m_ui->setupUi(this);
    m_ui->lstVersions->setColumnWidth(0, 220);
    const QLocale locale;
    for (const Version &v : versions) {
        auto *row = new QTreeWidgetItem(
            m_ui->lstVersions, QStringList{locale.toString(v.time.toLocalTime(), QLocale::ShortFormat),
                                           QString::number(v.files.size()), locale.toString(v.bytes())});
        row->setTextAlignment(1, Qt::AlignRight);
        row->setTextAlignment(2, Qt::AlignRight);
    }
    // The newest is what the server holds: the one before is the usual way back.
    if (auto *row = m_ui->lstVersions->topLevelItem(versions.size() > 1 ? 1 : 0))
        m_ui->lstVersions->setCurrentItem(row);
    m_ui->cmdRollBack->setEnabled(!versions.isEmpty());
    connect(m_ui->cmdRollBack, &QPushButton::clicked, this, &FrmVersions::cmdRollBack_Click);
    connect(m_ui->cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

FrmVersions::~FrmVersions() = default;

void FrmVersions::cmdRollBack_Click()
{
    const int back = m_ui->lstVersions->indexOfTopLevelItem(m_ui->lstVersions->currentItem());
    if (back < 0 || back >= m_versions.size()) {
        platform::msgBox(QStringLiteral("Choose a version first."), this);
        return;
    }
    const Version &v = m_versions[back];
    const QString question =
        QStringLiteral("Send the version of %1 (%2 files) to the server again?\n\nFiles on the server that "
                       "differ from it are replaced.")
            .arg(QLocale().toString(v.time.toLocalTime(), QLocale::ShortFormat))
            .arg(v.files.size());
    if (platform::dialogs().message(question, platform::kAppTitle, platform::Buttons::YesNo,
                                    platform::Icon::Question, this) != platform::Answer::Yes)
        return;
    const auto rollBack = m_rollBack; // the window may drop this dialog meanwhile
    accept();
    rollBack(back);
}

} // namespace publish
