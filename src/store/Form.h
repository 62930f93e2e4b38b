#pragma once
// The view of a window that the INI save and load walk: its controls in their fixed
// order, each with a name and a kind. Only text boxes and list views are stored;
// every other control is reported with neither interface and is skipped.

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace store {

class TextBox {
public:
    virtual ~TextBox() = default;
    // Line breaks are CR LF on both sides of this interface.
    virtual QString text() const = 0;
    virtual void setText(const QString &text) = 0;
};

// A list view in report form. Rows are numbered from 0 here; sub-items from 1
// (sub-item j sits in column j); columns from 0.
class ListView {
public:
    virtual ~ListView() = default;
    virtual int columnCount() const = 0;
    virtual QString headerText(int column) const = 0;
    virtual int rowCount() const = 0;
    virtual QString rowText(int row) const = 0;
    // How many sub-items the row holds (may be fewer than columnCount() - 1).
    virtual int subItemCount(int row) const = 0;
    virtual QString subItem(int row, int j) const = 0;
    virtual void clear() = 0; // removes the rows, keeps the columns
    virtual void addRow(const QString &text) = 0;
    virtual void setSubItem(int row, int j, const QString &text) = 0;
};

struct Control {
    QString name;
    TextBox *textBox = nullptr;   // set for a text box
    ListView *listView = nullptr; // set for a list view
};

class Form {
public:
    virtual ~Form() = default;
    // The window's controls in its control order. The pointers stay valid while the
    // form and its window live.
    virtual std::vector<Control> controls() = 0;
};

// A form held in memory: for tests, benchmarks and data that has no window.
class MemoryTextBox : public TextBox {
public:
    QString value;
    QString text() const override { return value; }
    void setText(const QString &text) override { value = text; }
};

class MemoryListView : public ListView {
public:
    struct Row {
        QString text;
        QStringList subItems; // subItems[j - 1] is sub-item j
    };
    QStringList headers;
    std::vector<Row> rows;

    int columnCount() const override { return headers.size(); }
    QString headerText(int column) const override { return headers.value(column); }
    int rowCount() const override { return int(rows.size()); }
    QString rowText(int row) const override { return rows[size_t(row)].text; }
    int subItemCount(int row) const override { return rows[size_t(row)].subItems.size(); }
    QString subItem(int row, int j) const override { return rows[size_t(row)].subItems.value(j - 1); }
    void clear() override { rows.clear(); }
    void addRow(const QString &text) override { rows.push_back({text, {}}); }
    void setSubItem(int row, int j, const QString &text) override;
};

class MemoryForm : public Form {
public:
    MemoryForm() = default;
    MemoryForm(const MemoryForm &) = delete;
    MemoryForm &operator=(const MemoryForm &) = delete;

    MemoryTextBox &addTextBox(const QString &name);
    MemoryListView &addListView(const QString &name, const QStringList &headers);
    void addOther(const QString &name); // a control that is not stored

    MemoryTextBox *textBox(const QString &name);
    MemoryListView *listView(const QString &name);

    std::vector<Control> controls() override;

private:
    struct Entry {
        QString name;
        std::unique_ptr<MemoryTextBox> textBox;
        std::unique_ptr<MemoryListView> listView;
    };
    std::vector<Entry> m_entries;
};

} // namespace store
