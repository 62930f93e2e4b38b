#pragma once
// Reference-file checks: a test's whole output against a file checked in beside the
// test. On a difference the failure shows `diff -u` of the two; after a deliberate
// change `cmake --build build --target update-references` rewrites the files
// (the tests then run with QUILLMARK_UPDATE_REFERENCES=1 and write instead of compare).

#include "common/TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

namespace testing_support {

// Compares `actual` with the reference file at `referencePath` (absolute, in the
// source tree), or rewrites that file in update mode.
inline void expectMatchesReference(const QString &referencePath, const QByteArray &actual)
{
    if (qEnvironmentVariableIntValue("QUILLMARK_UPDATE_REFERENCES") == 1) {
        QDir().mkpath(QFileInfo(referencePath).path());
        ASSERT_TRUE(writeAll(referencePath, actual)) << referencePath.toStdString();
        return;
    }
    if (!QFileInfo::exists(referencePath)) {
        ADD_FAILURE() << "no reference file " << referencePath.toStdString()
                      << " (make it with: cmake --build <build> --target update-references)";
        return;
    }
    if (readAll(referencePath) == actual)
        return;
    // The output beside the build, so that the diff (and a look by hand) can use it.
    const QString actualPath = binaryDir() + "/references/" + QFileInfo(referencePath).fileName();
    QDir().mkpath(QFileInfo(actualPath).path());
    writeAll(actualPath, actual);
    QProcess diff;
    diff.start("diff", {"-u", "--text", referencePath, actualPath});
    diff.waitForFinished(10000);
    ADD_FAILURE() << "output differs from " << referencePath.toStdString() << ":\n"
                  << diff.readAllStandardOutput().left(20000).toStdString()
                  << "(if the change is meant: cmake --build <build> --target update-references)";
}

} // namespace testing_support
