#include "SampleProducts.h"

#include "generation/ProductFile.h"

namespace testing_support {

using generation::PageData;

generation::PageData LoadSampleProduct(const QString &appFolder)
{
    PageData d;
    generation::LoadProduct(appFolder + QStringLiteral("/sites/Ledgerlark.ini"), d);
    return d;
}

generation::PageData MinimalProduct()
{
    PageData d;
    d.txtSoftwareName = QStringLiteral("Quillpad");
    d.txtOneLiner = QStringLiteral("Notes that file themselves.");
    d.txtPurchaseURL = QStringLiteral("http://quillpad.example/buy");
    return d;
}

PageData OneRowProduct(const QString &appFolder)
{
    PageData d = LoadSampleProduct(appFolder);
    for (auto *list : {&d.lvwFAQ, &d.lvwFeatures, &d.lvwTestimonial})
        list->resize(1);
    return d;
}

} // namespace testing_support
