#pragma once
// The products every shipped template is tried with: the sample that ships in sites/
// (every answer given), a minimal one (a name, a one-liner and an order link) and the
// sample cut to one row in each list.
#include "generation/ProductFile.h"

namespace testing_support {

// sites/Ledgerlark.ini as the wizard loads it; the image path stays relative to appFolder.
inline generation::PageData LoadSampleProduct(const QString &appFolder)
{
    generation::PageData d;
    generation::LoadProduct(appFolder + "/sites/Ledgerlark.ini", d);
    return d;
}

inline generation::PageData MinimalProduct()
{
    generation::PageData d;
    d.txtSoftwareName = "Quillpad";
    d.txtOneLiner = "Notes that file themselves.";
    d.txtPurchaseURL = "http://quillpad.example/buy";
    return d;
}

inline generation::PageData OneRowProduct(const QString &appFolder)
{
    generation::PageData d = LoadSampleProduct(appFolder);
    for (auto *list : {&d.lvwFAQ, &d.lvwFeatures, &d.lvwTestimonial})
        list->resize(1);
    return d;
}

} // namespace testing_support
