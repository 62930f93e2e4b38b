#pragma once
// A form shaped like the wizard window: its stored text boxes and its three lists,
// in window order, filled with varied text (line breaks, blanks, quotes, long values).

#include "generation/Fields.h"
#include "store/Form.h"

#include <QString>
#include <QStringList>

namespace store_testing {

// clang-format off
inline const QStringList kSamples = {"plain", "two\r\nlines", "  blanks around  ", "\"quoted\"", "a=b; [c]",
                                     QString(6000, QLatin1Char('L')), ""};
// clang-format on

// Builds the controls; with `rows` > 0 also fills them.
inline void buildWizardForm(store::MemoryForm &form, int rows)
{
    int n = 0;
    for (const generation::Field &field : generation::Fields()) {
        if (field.kind != generation::FieldKind::Text)
            continue;
        form.addTextBox(field.name).value =
            rows > 0 ? kSamples[n++ % kSamples.size()] + field.name : QString();
        if (field.name == "txtProductCaption")
            form.addOther("cmbTemplates");
    }
    form.addOther("cmbExistingSoftware");
    for (const generation::Field &field : generation::Fields()) {
        if (field.kind != generation::FieldKind::List)
            continue;
        store::MemoryListView &view = form.addListView(field.name, field.columns);
        for (int i = 0; i < rows; ++i) {
            view.rows.push_back({kSamples[i % kSamples.size()].left(80) + QString::number(i), {}});
            for (int j = 1; j < field.columns.size(); ++j)
                view.rows.back().subItems
                    << (i % 5 == 4 ? QString() : kSamples[(i + j) % kSamples.size()].left(300));
        }
    }
}

} // namespace store_testing
