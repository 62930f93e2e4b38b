#pragma once
// The two products every shipped template is tried with: the sample that ships in
// sites/ (every answer given) and a minimal one (a name, a one-liner and an order link).
#include "generation/PageData.h"

#include <QString>

namespace testing_support {

// sites/Ledgerlark.ini as the wizard loads it; the image path stays relative to appFolder.
generation::PageData LoadSampleProduct(const QString &appFolder);
generation::PageData MinimalProduct();

} // namespace testing_support
