#include "generation/ProductFile.h"

#include "platform/IniFile.h"
#include "store/FormIniWalk.h"

#include <QDir>
#include <QFileInfo>
#include <utility>

namespace generation {
namespace {

using generation::PageData;

// The wizard's text boxes, in its control order.
#define FIELD(name)                                                                                          \
    {                                                                                                        \
        QStringLiteral(#name), &PageData::name                                                               \
    }
const std::pair<QString, QString PageData::*> kTextFields[] = {FIELD(txtSoftwareName),
                                                               FIELD(txtOneLiner),
                                                               FIELD(txtKeywords),
                                                               FIELD(txtSupportURL),
                                                               FIELD(txtAffiliateURL),
                                                               FIELD(txtExplainIn30Secs),
                                                               FIELD(txtCopyRightInfo),
                                                               FIELD(txtProblem),
                                                               FIELD(txtProlemSolution),
                                                               FIELD(txtBenefits),
                                                               FIELD(txtComparison),
                                                               FIELD(txtProductImage),
                                                               FIELD(txtProductCaption),
                                                               FIELD(txtFAQQuestion),
                                                               FIELD(txtFAQAnswer),
                                                               FIELD(txtFeatureName),
                                                               FIELD(txtFeatureDetail),
                                                               FIELD(txtTestimonialName),
                                                               FIELD(txtTestimonialAdditionalInfo),
                                                               FIELD(txtTestimonial),
                                                               FIELD(txtDownloadURL),
                                                               FIELD(txtDownloadMessage),
                                                               FIELD(txtDownloadHelp),
                                                               FIELD(txtDownloadRequirements),
                                                               FIELD(txtPurchaseURL),
                                                               FIELD(txtOrderNowIncentive),
                                                               FIELD(txtOrderLaterIncentive),
                                                               FIELD(txtMRP),
                                                               FIELD(txtSpecialPrice),
                                                               FIELD(txtOrderWithinHours),
                                                               FIELD(txtTemplateHeaderImage),
                                                               FIELD(txtTemplateBackgroundImage),
                                                               FIELD(txtGeneratedPage)};
#undef FIELD

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

    store::MemoryForm form;
    for (const auto &field : kTextFields)
        form.addTextBox(field.first);
    form.addListView(QStringLiteral("lvwFAQ"), generation::kFAQColumns);
    form.addListView(QStringLiteral("lvwFeatures"), generation::kFeatureColumns);
    form.addListView(QStringLiteral("lvwTestimonial"), generation::kTestimonialColumns);
    // A product saved before its lists existed stops loading at the first list, as in
    // the wizard; what was read so far is kept.
    FileReader reader(ini);
    store::LoadForm(form, reader);

    data = PageData();
    for (const auto &[name, member] : kTextFields)
        data.*member = form.textBox(name)->value;
    const std::pair<const char *, QVector<generation::ListRow> PageData::*> lists[] = {
        {"lvwFAQ", &PageData::lvwFAQ},
        {"lvwFeatures", &PageData::lvwFeatures},
        {"lvwTestimonial", &PageData::lvwTestimonial}};
    for (const auto &[name, member] : lists)
        for (const auto &row : form.listView(QLatin1String(name))->rows)
            (data.*member).push_back({row.text, row.subItems});
    return true;
}

QString ResolveProductImage(const QString &image, const QStringList &folders)
{
    if (image.isEmpty() || QFileInfo(image).isAbsolute())
        return image;
    for (const QString &folder : folders) {
        const QString candidate = QDir(folder).filePath(image);
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return image;
}

} // namespace generation
