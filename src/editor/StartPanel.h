#pragma once
// The panel over the empty start page: where to begin. It lies over the design
// view (never inside the document) and its owner hides it once work begins.

#include <QFrame>
#include <QStringList>

class QListWidget;

namespace editor {

class StartPanel : public QFrame {
    Q_OBJECT
public:
    explicit StartPanel(QWidget *parent = nullptr);
    void setRecentPages(const QStringList &pages);
    bool hasRecentPages() const;

signals:
    void createPageRequested();
    void openPageRequested();
    void recentPageRequested(const QString &path);

private:
    QListWidget *m_recent = nullptr;
};

} // namespace editor
