#include "editor/CheckPanel.h"

#include "ui_CheckPanel.h"

#include <QFileInfo>
#include <QHeaderView>

namespace editor {

CheckPanel::CheckPanel(QWidget *parent) : QWidget(parent), m_ui(std::make_unique<Ui::CheckPanel>())
{
    m_ui->setupUi(this);
    m_ui->lvwFindings->header()->setStretchLastSection(true);
    m_ui->lvwFindings->setColumnWidth(0, 80);
    m_ui->lvwFindings->setColumnWidth(1, 50);
    m_ui->lvwFindings->setColumnWidth(2, 60);
    m_ui->lvwFindings->setColumnWidth(3, 140);
    connect(m_ui->lvwFindings, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *item) { activate(item); });
    connect(m_ui->cmdCloseCheck, &QToolButton::clicked, this, &CheckPanel::closeRequested);
}

CheckPanel::~CheckPanel() = default;

void CheckPanel::showReport(const check::Report &report)
{
    m_report = report;
    m_ui->lvwFindings->clear();
    for (int i = 0; i < report.findings.size(); ++i) {
        const check::Finding &f = report.findings[i];
        const bool error = f.severity == check::Severity::Error;
        // A finding in a style sheet names the sheet: the source view shows the page only.
        const QString message = f.file == report.page
                                    ? f.message
                                    : QFileInfo(f.file).fileName() + QStringLiteral(": ") + f.message;
        auto *item = new QTreeWidgetItem(
            m_ui->lvwFindings, {error ? QStringLiteral("Error") : QStringLiteral("Warning"),
                                QString::number(f.line), QString::number(f.column), f.rule, message});
        item->setData(0, Qt::UserRole, i);
        item->setForeground(0, error ? QColor(0xb0, 0x20, 0x20) : QColor(0x9a, 0x6a, 0x00));
        item->setToolTip(4, message);
    }
    const int errors = report.errors(), warnings = report.warnings();
    m_ui->lblCheckSummary->setText(
        report.findings.isEmpty()
            ? QStringLiteral("%1: no problems found").arg(QFileInfo(report.page).fileName())
            : QStringLiteral("%1: %2 %3, %4 %5")
                  .arg(QFileInfo(report.page).fileName())
                  .arg(errors)
                  .arg(errors == 1 ? QStringLiteral("error") : QStringLiteral("errors"))
                  .arg(warnings)
                  .arg(warnings == 1 ? QStringLiteral("warning") : QStringLiteral("warnings")));
}

void CheckPanel::activate(QTreeWidgetItem *item)
{
    const int index = item ? item->data(0, Qt::UserRole).toInt() : -1;
    if (index >= 0 && index < m_report.findings.size())
        emit findingActivated(m_report.findings[index]);
}

} // namespace editor
