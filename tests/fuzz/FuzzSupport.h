#pragma once
// Shared pieces of the fuzz targets: text drawn from the fuzzer's bytes, and a Qt
// core application for the code that wants one.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace fuzzing {

// A scratch folder for the run, in memory when the system offers one (files are
// written on every input).
inline QTemporaryDir &scratchFolder()
{
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/quillmark-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/quillmark-fuzz-XXXXXX"));
    return dir;
}

// Replaces the file at `path` with `bytes`.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Text as the program reads it from an 8-bit file.
inline QString text(FuzzedDataProvider &data, size_t maxBytes = 4096)
{
    return QString::fromLocal8Bit(QByteArray::fromStdString(data.ConsumeRandomLengthString(maxBytes)));
}

// A broken rule: print what differs and stop, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition, what)                                                                          \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "check failed: %s (%s)\n", #condition, qPrintable(QString(what)));          \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

} // namespace fuzzing

// Targets whose code wants a Qt core application define FUZZ_WITH_QT before including this.
#ifdef FUZZ_WITH_QT
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv); // lives for the whole run
    return 0;
}
#endif
