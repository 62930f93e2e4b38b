// The store's loading of a wizard-shaped form from any file: no crash, no hang on a
// huge "SIZE".
#define FUZZ_WITH_QT
#include "FuzzSupport.h"
#include "store/Form.h"
#include "store/WizardForm.h"
#include "store/modReadWriteIni.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    QTemporaryDir &app = fuzzing::scratchFolder();
    [[maybe_unused]] static const bool made = QDir(app.path()).mkpath("sites");
    const QString ini = app.filePath("sites/fuzz.ini");
    FUZZ_CHECK(fuzzing::writeFile(
                   ini, QByteArray::fromRawData(reinterpret_cast<const char *>(bytes), qsizetype(size))),
               ini);
    store::MemoryForm form;
    store_testing::buildWizardForm(form, 0);
    store::LoadFormFromIni(QStringLiteral("fuzz.ini"), form, app.path());
    for (const store::Control &control : form.controls()) {
        if (!control.listView)
            continue;
        // No more rows than the file has keys: a huge "SIZE" must not fill memory.
        FUZZ_CHECK(control.listView->rowCount() <= int(size), control.name);
    }
    return 0;
}
