#include "editor/StartPanel.h"

#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace editor {

StartPanel::StartPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("StartPanel"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(
        QStringLiteral("#StartPanel { background: white; border: 1px solid #c9d4e2; border-radius: 10px; }"
                       "#lblStartTitle { font-size: 18px; font-weight: 600; color: #1f3b63; }"
                       "#lblRecentPages { color: #44505f; margin-top: 8px; }"
                       "QPushButton { padding: 8px 14px; text-align: left; }"
                       "#cmdCreatePage { background: #2f80d1; color: white; border: none; border-radius: "
                       "5px; font-weight: 600; }"
                       "#lstRecentPages { border: none; color: #1f5fa8; }"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    auto *title = new QLabel(QStringLiteral("Start here"), this);
    title->setObjectName(QStringLiteral("lblStartTitle"));
    layout->addWidget(title);
    auto *create = new QPushButton(QStringLiteral("Create a sales page"), this);
    create->setObjectName(QStringLiteral("cmdCreatePage"));
    create->setToolTip(QStringLiteral("Answer the wizard's questions and get a finished page"));
    auto *open = new QPushButton(QStringLiteral("Open a page…"), this);
    open->setObjectName(QStringLiteral("cmdOpenPage"));
    layout->addWidget(create);
    layout->addWidget(open);
    auto *recentTitle = new QLabel(QStringLiteral("Recent pages"), this);
    recentTitle->setObjectName(QStringLiteral("lblRecentPages"));
    layout->addWidget(recentTitle);
    m_recent = new QListWidget(this);
    m_recent->setObjectName(QStringLiteral("lstRecentPages"));
    m_recent->setCursor(Qt::PointingHandCursor);
    layout->addWidget(m_recent, 1);
    connect(create, &QPushButton::clicked, this, &StartPanel::createPageRequested);
    connect(open, &QPushButton::clicked, this, &StartPanel::openPageRequested);
    connect(m_recent, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { emit recentPageRequested(item->data(Qt::UserRole).toString()); });
    connect(m_recent, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { emit recentPageRequested(item->data(Qt::UserRole).toString()); });
}

bool StartPanel::hasRecentPages() const
{
    return m_recent->count() > 0;
}

void StartPanel::setRecentPages(const QStringList &pages)
{
    m_recent->clear();
    for (const QString &page : pages) {
        auto *item = new QListWidgetItem(QFileInfo(page).fileName(), m_recent);
        item->setToolTip(page);
        item->setData(Qt::UserRole, page);
    }
    m_recent->setVisible(!pages.isEmpty());
    findChild<QLabel *>(QStringLiteral("lblRecentPages"))->setVisible(!pages.isEmpty());
}

} // namespace editor
