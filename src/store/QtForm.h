#pragma once
// A Qt window seen as a store::Form: its descendant widgets with an objectName, in
// creation order. QLineEdit and QPlainTextEdit are text boxes (the widget's "\n" is
// CR LF in the store), QTreeWidget is a list view (header texts are the column
// headers). A combo box whose dynamic property "storedChoice" is true is a text box
// holding the chosen item's data. Other combo boxes, spin boxes and everything else are
// not stored, nor is a widget whose dynamic property "notStored" is true (e.g. a status box).
// A QTreeWidget whose dynamic property "checkableRows" is true gets loaded rows with
// an unticked check box.

#include "store/Form.h"
#include "store/modReadWriteIni.h"

#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

class QWidget;

namespace store {

class QtForm : public Form {
public:
    static constexpr const char *kNotStoredProperty = "notStored";
    static constexpr const char *kCheckableRowsProperty = "checkableRows";
    static constexpr const char *kStoredChoiceProperty = "storedChoice";

    explicit QtForm(QWidget *window);
    ~QtForm() override;

    std::vector<Control> controls() override;

private:
    QPointer<QWidget> m_window;
    std::vector<std::unique_ptr<TextBox>> m_textBoxes;
    std::vector<std::unique_ptr<ListView>> m_listViews;
};

// SaveFormToIni / LoadFormFromIni on a window, e.g.
//   store::saveWindowToIni(this, ":ftpinfo.ini", platform::applicationFolder(),
//                          platform::IniFile::Access::OwnerOnly);
bool saveWindowToIni(QWidget *window, const QString &file, const QString &appFolder,
                     platform::IniFile::Access access = platform::IniFile::Access::Keep);
bool loadWindowFromIni(QWidget *window, const QString &file, const QString &appFolder);

} // namespace store
