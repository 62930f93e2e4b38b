#include "common/References.h"

#include "common/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

namespace testing_support {

void expectMatchesReference(const QString &referencePath, const QByteArray &actual)
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
    const QByteArray expected = readAll(referencePath);
    if (expected == actual)
        return;
    // The output beside the build, so that the diff (and a look by hand) can use it.
    const QString actualPath =
        binaryDir() + QStringLiteral("/references/") + QFileInfo(referencePath).fileName();
    QDir().mkpath(QFileInfo(actualPath).path());
    writeAll(actualPath, actual);
    QProcess diff;
    diff.start(QStringLiteral("diff"),
               {QStringLiteral("-u"), QStringLiteral("--text"), referencePath, actualPath});
    diff.waitForFinished(10000);
    ADD_FAILURE() << "output differs from " << referencePath.toStdString() << ":\n"
                  << diff.readAllStandardOutput().left(20000).toStdString()
                  << "(if the change is meant: cmake --build <build> --target update-references)";
}

} // namespace testing_support
