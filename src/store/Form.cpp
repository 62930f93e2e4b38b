#include "Form.h"

namespace store {

void MemoryListView::setSubItem(int row, int j, const QString &text)
{
    QStringList &subItems = rows[size_t(row)].subItems;
    while (subItems.size() < j)
        subItems << QString();
    subItems[j - 1] = text;
}

MemoryTextBox &MemoryForm::addTextBox(const QString &name)
{
    m_entries.push_back({name, std::make_unique<MemoryTextBox>(), nullptr});
    return *m_entries.back().textBox;
}

MemoryListView &MemoryForm::addListView(const QString &name, const QStringList &headers)
{
    m_entries.push_back({name, nullptr, std::make_unique<MemoryListView>()});
    m_entries.back().listView->headers = headers;
    return *m_entries.back().listView;
}

void MemoryForm::addOther(const QString &name)
{
    m_entries.push_back({name, nullptr, nullptr});
}

MemoryTextBox *MemoryForm::textBox(const QString &name)
{
    for (Entry &e : m_entries)
        if (e.name == name && e.textBox)
            return e.textBox.get();
    return nullptr;
}

MemoryListView *MemoryForm::listView(const QString &name)
{
    for (Entry &e : m_entries)
        if (e.name == name && e.listView)
            return e.listView.get();
    return nullptr;
}

std::vector<Control> MemoryForm::controls()
{
    std::vector<Control> result;
    result.reserve(m_entries.size());
    for (Entry &e : m_entries)
        result.push_back({e.name, e.textBox.get(), e.listView.get()});
    return result;
}

} // namespace store
