#include "QtForm.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVariant>

namespace store {
namespace {

class LineEditBox : public TextBox {
public:
    explicit LineEditBox(QLineEdit *edit) : m_edit(edit) {}
    QString text() const override { return m_edit->text(); }
    void setText(const QString &text) override { m_edit->setText(text); }

private:
    QLineEdit *m_edit;
};

// The widget uses "\n"; the store CR LF.
class PlainTextBox : public TextBox {
public:
    explicit PlainTextBox(QPlainTextEdit *edit) : m_edit(edit) {}
    QString text() const override
    {
        // toPlainText() would turn no-break spaces into blanks; keep what was typed.
        QString text = m_edit->document()->toRawText();
        text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
        text.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
        return text;
    }
    void setText(const QString &text) override
    {
        QString plain = text;
        plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        m_edit->setPlainText(plain);
    }

private:
    QPlainTextEdit *m_edit;
};

// A tick box is stored as "1" when ticked and "" when not, so that a file written before
// it existed loads it unticked.
class CheckBoxValue : public TextBox {
public:
    explicit CheckBoxValue(QCheckBox *box) : m_box(box) {}
    QString text() const override { return m_box->isChecked() ? QStringLiteral("1") : QString(); }
    void setText(const QString &text) override { m_box->setChecked(text.trimmed() == QLatin1String("1")); }

private:
    QCheckBox *m_box;
};

// A choice among fixed values is stored as the chosen item's data (its text when it has
// none); a value no item has, or none, loads as the first item.
class ComboBoxValue : public TextBox {
public:
    explicit ComboBoxValue(QComboBox *box) : m_box(box) {}
    QString text() const override
    {
        const QVariant data = m_box->currentData();
        return data.isValid() ? data.toString() : m_box->currentText();
    }
    void setText(const QString &text) override
    {
        int index = m_box->findData(text.trimmed());
        if (index < 0)
            index = m_box->findText(text.trimmed());
        m_box->setCurrentIndex(index < 0 ? 0 : index);
    }

private:
    QComboBox *m_box;
};

class TreeListView : public ListView {
public:
    explicit TreeListView(QTreeWidget *tree) : m_tree(tree) {}
    int columnCount() const override { return m_tree->columnCount(); }
    QString headerText(int column) const override { return m_tree->headerItem()->text(column); }
    int rowCount() const override { return m_tree->topLevelItemCount(); }
    QString rowText(int row) const override { return m_tree->topLevelItem(row)->text(0); }
    int subItemCount(int row) const override
    {
        return std::max(0, m_tree->topLevelItem(row)->columnCount() - 1);
    }
    QString subItem(int row, int j) const override { return m_tree->topLevelItem(row)->text(j); }
    void clear() override { m_tree->clear(); }
    void addRow(const QString &text) override
    {
        auto *item = new QTreeWidgetItem(QStringList{text});
        if (m_tree->property(QtForm::kCheckableRowsProperty).toBool())
            item->setCheckState(0, Qt::Unchecked);
        m_tree->addTopLevelItem(item);
    }
    void setSubItem(int row, int j, const QString &text) override
    {
        m_tree->topLevelItem(row)->setText(j, text);
    }

private:
    QTreeWidget *m_tree;
};

// Line edits that belong to a combo or spin box are parts of that control.
bool insideCompoundControl(QWidget *widget, QWidget *window)
{
    for (QWidget *p = widget->parentWidget(); p && p != window; p = p->parentWidget())
        if (qobject_cast<QComboBox *>(p) || qobject_cast<QAbstractSpinBox *>(p))
            return true;
    return false;
}

} // namespace

QtForm::QtForm(QWidget *window) : m_window(window) {}

QtForm::~QtForm() = default;

std::vector<Control> QtForm::controls()
{
    m_textBoxes.clear();
    m_listViews.clear();
    std::vector<Control> result;
    if (!m_window)
        return result;
    // findChildren walks depth first in child order, which is the order of creation.
    for (QWidget *widget : m_window->findChildren<QWidget *>()) {
        const QString name = widget->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) ||
            widget->property(kNotStoredProperty).toBool() || insideCompoundControl(widget, m_window))
            continue;
        Control control{name};
        if (auto *line = qobject_cast<QLineEdit *>(widget)) {
            m_textBoxes.push_back(std::make_unique<LineEditBox>(line));
            control.textBox = m_textBoxes.back().get();
        } else if (auto *plain = qobject_cast<QPlainTextEdit *>(widget)) {
            m_textBoxes.push_back(std::make_unique<PlainTextBox>(plain));
            control.textBox = m_textBoxes.back().get();
        } else if (auto *choice = qobject_cast<QComboBox *>(widget);
                   choice && widget->property(kStoredChoiceProperty).toBool()) {
            m_textBoxes.push_back(std::make_unique<ComboBoxValue>(choice));
            control.textBox = m_textBoxes.back().get();
        } else if (auto *tick = qobject_cast<QCheckBox *>(widget)) {
            m_textBoxes.push_back(std::make_unique<CheckBoxValue>(tick));
            control.textBox = m_textBoxes.back().get();
        } else if (auto *tree = qobject_cast<QTreeWidget *>(widget)) {
            m_listViews.push_back(std::make_unique<TreeListView>(tree));
            control.listView = m_listViews.back().get();
        }
        result.push_back(control);
    }
    return result;
}

bool saveWindowToIni(QWidget *window, const QString &file, const QString &appFolder,
                     platform::IniFile::Access access)
{
    QtForm form(window);
    return SaveFormToIni(file, form, appFolder, access);
}

bool loadWindowFromIni(QWidget *window, const QString &file, const QString &appFolder)
{
    QtForm form(window);
    return LoadFormFromIni(file, form, appFolder);
}

} // namespace store
