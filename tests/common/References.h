#pragma once
// Reference-file checks: a test's whole output against a file checked in beside the
// test. On a difference the failure shows `diff -u` of the two; after a deliberate
// change `cmake --build build --target update-references` rewrites the files
// (the tests then run with QUILLMARK_UPDATE_REFERENCES=1 and write instead of compare).

#include <QByteArray>
#include <QString>

namespace testing_support {

// Compares `actual` with the reference file at `referencePath` (absolute, in the
// source tree), or rewrites that file in update mode.
void expectMatchesReference(const QString &referencePath, const QByteArray &actual);

} // namespace testing_support
