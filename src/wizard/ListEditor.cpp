#include "wizard/ListEditor.h"

#include "platform/Dialogs.h"
#include "wizard/frmWizard.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTreeWidget>

namespace wizard {

QString boxText(const QWidget *box)
{
    if (auto *line = qobject_cast<const QLineEdit *>(box))
        return line->text();
    if (auto *tick = qobject_cast<const QCheckBox *>(box))
        return tick->isChecked() ? QStringLiteral("1") : QString(); // as the store keeps it
    if (auto *choice = qobject_cast<const QComboBox *>(box)) {
        const QVariant data = choice->currentData(); // as the store keeps it
        return data.isValid() ? data.toString() : choice->currentText();
    }
    if (auto *multi = qobject_cast<const QPlainTextEdit *>(box)) {
        // toPlainText() would turn no-break spaces into blanks; the value is kept as typed.
        QString text = multi->document()->toRawText();
        text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        text.replace(QChar::LineSeparator, QLatin1Char('\n'));
        // Qt's text boxes give "\n"; the record and the data file hold CR LF.
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        return text;
    }
    return {};
}

void setBoxText(QWidget *box, const QString &recordText)
{
    if (auto *line = qobject_cast<QLineEdit *>(box)) {
        line->setText(recordText);
    } else if (auto *multi = qobject_cast<QPlainTextEdit *>(box)) {
        QString text = recordText;
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        multi->setPlainText(text);
    } else if (auto *tick = qobject_cast<QCheckBox *>(box)) {
        tick->setChecked(recordText.trimmed() == QLatin1String("1"));
    } else if (auto *choice = qobject_cast<QComboBox *>(box)) {
        const int index = choice->findData(recordText.trimmed());
        choice->setCurrentIndex(index < 0 ? 0 : index);
    }
}

namespace {

QTreeWidgetItem *selectedRow(QTreeWidget *list)
{
    if (list->topLevelItemCount() == 0)
        return nullptr;
    const QList<QTreeWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

} // namespace

ListEditor::ListEditor(QTreeWidget *list, QVector<Box> boxes, const Buttons &buttons, const QIcon &rowIcon,
                       QWidget *window)
    : m_list(list), m_boxes(std::move(boxes)), m_buttons(buttons), m_rowIcon(rowIcon), m_window(window)
{
    connect(buttons.add, &QPushButton::clicked, this, &ListEditor::add);
    connect(buttons.update, &QPushButton::clicked, this, &ListEditor::update);
    connect(buttons.remove, &QPushButton::clicked, this, &ListEditor::remove);
    connect(buttons.up, &QPushButton::clicked, this, [this] { move(-1); });
    connect(buttons.down, &QPushButton::clicked, this, [this] { move(+1); });
    connect(list, &QTreeWidget::itemClicked, this, &ListEditor::load);
    connect(list, &QTreeWidget::itemSelectionChanged, this, &ListEditor::updateButtons);
    // Rows come and go by Add, Remove, Load and ClearAll.
    connect(list->model(), &QAbstractItemModel::rowsInserted, this, &ListEditor::updateButtons);
    connect(list->model(), &QAbstractItemModel::rowsRemoved, this, &ListEditor::updateButtons);
    connect(list->model(), &QAbstractItemModel::modelReset, this, &ListEditor::updateButtons);
    updateButtons();
}

bool ListEditor::checkBoxes() const
{
    const QString first = boxText(m_boxes.first().box);
    for (const Box &b : m_boxes) {
        if (trimSpaces(boxText(b.box)).isEmpty()) {
            platform::msgBox(b.emptyMessage(first), m_window);
            b.box->setFocus();
            return false;
        }
    }
    return true;
}

QStringList ListEditor::texts() const
{
    QStringList texts;
    for (const Box &b : m_boxes)
        texts << boxText(b.box);
    return texts;
}

void ListEditor::clearBoxes()
{
    for (const Box &b : m_boxes)
        setBoxText(b.box, QString());
}

void ListEditor::add()
{
    if (!checkBoxes())
        return;
    auto *item = new QTreeWidgetItem(texts());
    item->setIcon(0, m_rowIcon);
    m_list->addTopLevelItem(item);
    clearBoxes();
}

void ListEditor::update()
{
    QTreeWidgetItem *row = selectedRow(m_list);
    if (!row || !checkBoxes())
        return;
    const QStringList columns = texts();
    for (int column = 0; column < columns.size(); ++column)
        row->setText(column, columns[column]);
    clearBoxes();
}

void ListEditor::remove()
{
    QTreeWidgetItem *row = selectedRow(m_list);
    if (!row)
        return;
    delete m_list->takeTopLevelItem(m_list->indexOfTopLevelItem(row));
    clearBoxes();
}

void ListEditor::load()
{
    QTreeWidgetItem *row = selectedRow(m_list);
    if (!row)
        return;
    int column = 0;
    for (const Box &b : m_boxes)
        setBoxText(b.box, row->text(column++));
}

void ListEditor::move(int by)
{
    QTreeWidgetItem *row = selectedRow(m_list);
    const int from = row ? m_list->indexOfTopLevelItem(row) : -1;
    const int to = from + by;
    if (row && to >= 0 && to < m_list->topLevelItemCount()) {
        m_list->takeTopLevelItem(from);
        m_list->insertTopLevelItem(to, row);
        m_list->setCurrentItem(row);
        row->setSelected(true);
    }
    updateButtons();
}

void ListEditor::updateButtons()
{
    QTreeWidgetItem *row = selectedRow(m_list);
    const int at = row ? m_list->indexOfTopLevelItem(row) : -1;
    m_buttons.update->setEnabled(row != nullptr);
    m_buttons.up->setEnabled(at > 0);
    m_buttons.down->setEnabled(row && at + 1 < m_list->topLevelItemCount());
}

} // namespace wizard
