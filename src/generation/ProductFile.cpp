#include "generation/ProductFile.h"

#include "generation/Fields.h"

#include "platform/IniFile.h"
#include "store/FormIniWalk.h"

#include <QDir>
#include <QFileInfo>

namespace generation {
namespace {

class FileReader final : public store::IniReader {
public:
    explicit FileReader(const platform::IniFile &ini) : m_ini(ini) {}
    QString read(const QString &section, const QString &key) override { return m_ini.value(section, key); }
    QStringList keys(const QString &section) override { return m_ini.keys(section); }

private:
    const platform::IniFile &m_ini;
};

} // namespace

QString FindProduct(const QString &nameOrPath, const QStringList &dataFolders)
{
    const QFileInfo given(nameOrPath);
    if (given.isFile())
        return given.absoluteFilePath();
    if (nameOrPath.contains(QLatin1Char('/')) ||
        nameOrPath.endsWith(QStringLiteral(".ini"), Qt::CaseInsensitive))
        return {};
    for (const QString &folder : dataFolders) {
        const QFileInfo file(folder + QStringLiteral("/sites/") + nameOrPath + QStringLiteral(".ini"));
        if (file.isFile())
            return file.absoluteFilePath();
    }
    return {};
}

bool LoadProduct(const QString &path, PageData &data)
{
    platform::IniFile ini;
    if (!QFileInfo(path).isFile())
        return false;
    if (!ini.load(path))
        return false;

    // The lists come after every text box: a product saved before its lists existed
    // stops loading at the first list, as in the wizard; what was read so far is kept.
    store::MemoryForm form;
    for (const Field &field : Fields())
        if (field.kind == FieldKind::Text)
            form.addTextBox(field.name);
    for (const Field &field : Fields())
        if (field.kind == FieldKind::List)
            form.addListView(field.name, field.columns);
    FileReader reader(ini);
    store::LoadForm(form, reader);

    data = PageData();
    for (const Field &field : Fields()) {
        if (field.kind == FieldKind::Text)
            data.*field.text = form.textBox(field.name)->value;
        else
            for (const auto &row : form.listView(field.name)->rows)
                (data.*field.rows).push_back({row.text, row.subItems});
    }
    return true;
}

QString ResolveProductImage(const QString &image, const QStringList &folders)
{
    if (image.isEmpty() || QFileInfo(image).isAbsolute())
        return image;
    QString expected;
    for (const QString &folder : folders) {
        if (folder.isEmpty())
            continue;
        const QString candidate = QDir(folder).filePath(image);
        if (QFileInfo(candidate).isFile())
            return candidate;
        if (expected.isEmpty())
            expected = candidate;
    }
    // Never the working folder: that is nobody's choice for a desktop program.
    return expected.isEmpty() ? image : expected;
}

} // namespace generation
