// The INI layer: any bytes load; after edits, a save and a reload every value reads
// back as it did (the edited ones as they were written), and nothing crashes.
#define FUZZ_WITH_QT
#include "FuzzSupport.h"
#include "platform/IniFile.h"

#include <QHash>
#include <QTemporaryDir>
#include <tuple>

using platform::IniFile;

namespace {

// Names the fuzzer may use for edits: what a form's controls and lists are called.
QString name(FuzzedDataProvider &data)
{
    static const char alphabet[] = "abcXYZ_019 ";
    QString out;
    for (int i = data.ConsumeIntegralInRange(1, 6); i > 0; --i)
        out += QLatin1Char(alphabet[data.ConsumeIntegralInRange<size_t>(0, sizeof alphabet - 2)]);
    return out.trimmed().isEmpty() ? "k" : out;
}

// What a value reads back as: CR and LF cannot live in a line and become blanks.
const auto written = [](QString value) { return value.replace('\r', ' ').replace('\n', ' '); };
const auto key = [](const QString &section, const QString &k) {
    return section.trimmed().toCaseFolded() + QChar(0) + k.trimmed().toCaseFolded();
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    struct Edit {
        QString section, key, value;
    };
    std::vector<Edit> edits(data.ConsumeIntegralInRange(0, 6));
    for (Edit &e : edits) {
        e.section = name(data);
        e.key = name(data);
        // Valid UTF-8 only: the file is 8-bit text in a UTF-8 locale.
        e.value = QString::fromUtf8(QByteArray::fromStdString(data.ConsumeRandomLengthString(64)));
    }
    const QByteArray file = QByteArray::fromStdString(data.ConsumeRemainingBytesAsString());

    IniFile ini = IniFile::fromBytes(file);
    QStringList sections = {"TEXT", ""};
    for (const Edit &e : edits)
        sections << e.section;
    QHash<QString, std::tuple<QString, QString, QString>> expected; // section, key and value, by folded name
    for (const QString &section : sections)
        for (const QString &k : ini.keys(section))
            expected.insert(key(section, k), {section, k, ini.value(section, k)});
    for (const Edit &e : edits) {
        ini.setValue(e.section, e.key, e.value);
        FUZZ_CHECK(ini.value(e.section, e.key) == written(e.value),
                   e.section + "/" + e.key + ": " + e.value.toUtf8().toHex() + " read " +
                       ini.value(e.section, e.key).toUtf8().toHex());
        expected.insert(key(e.section, e.key), {e.section, e.key, written(e.value)});
    }

    const QString path = fuzzing::scratchFolder().filePath("fuzz.ini");
    IniFile reloaded;
    FUZZ_CHECK(ini.save(path) && reloaded.load(path), path);
    for (const auto &[section, k, value] : expected)
        FUZZ_CHECK(reloaded.value(section, k) == value,
                   section + "/" + k + ": " + value + " became " + reloaded.value(section, k));
    return 0;
}
