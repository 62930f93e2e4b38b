// The update server's answer and the version rule: any text gives one of the three
// outcomes, and a version number fits in 16 bits.
#include "FuzzSupport.h"
#include "desktop/UpdateCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QString answer = QString::fromLocal8Bit(reinterpret_cast<const char *>(bytes), qsizetype(size));
    const desktop::UpdateAnswer outcome = desktop::ParseVersionAnswer(answer);
    if (answer.split(QStringLiteral("||")).size() != 3)
        FUZZ_CHECK(outcome == desktop::UpdateAnswer::Unreadable, answer);
    for (const QString &field : answer.split(QStringLiteral("||"))) {
        const int number = desktop::VersionNumber(field);
        FUZZ_CHECK(number >= -32768 && number <= 32767, field);
    }
    return 0;
}
