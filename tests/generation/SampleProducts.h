#pragma once
// The products every shipped template is tried with: the sample that ships in sites/
// (every answer given), a minimal one (a name, a one-liner and an order link) and the
// sample cut to one row in each list.
#include "generation/PageData.h"

#include <QString>

namespace testing_support {

// sites/Ledgerlark.ini as the wizard loads it; the image path stays relative to appFolder.
generation::PageData LoadSampleProduct(const QString &appFolder);
generation::PageData MinimalProduct();
generation::PageData OneRowProduct(const QString &appFolder);

} // namespace testing_support
