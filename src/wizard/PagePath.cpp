#include "wizard/PagePath.h"

#include <QFileInfo>

namespace wizard {

QString PageFileNameFor(const QString &productName)
{
    QString name = productName.trimmed();
    for (QChar &c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20)
            c = QLatin1Char('-');
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return {};
    return name + QStringLiteral(".htm");
}

platform::FileRequest SuggestedPageRequest(const QString &forgottenPath, const QString &productName,
                                           const QString &documentsFolder)
{
    platform::FileRequest request;
    request.title = QStringLiteral("Save the sales page as");
    request.filter = QStringLiteral("Web Page (*.htm)|*.htm|All files (*.*)|*.*");
    const QString typed = forgottenPath.trimmed();
    if (!typed.isEmpty()) {
        const QFileInfo info(typed);
        request.fileName = info.fileName();
        // A folder that does not exist either cannot be opened: the documents folder stands in.
        request.directory = QFileInfo(info.absolutePath()).isDir() ? info.absolutePath() : documentsFolder;
        if (!request.fileName.isEmpty())
            return request;
    }
    request.directory = documentsFolder;
    request.fileName = PageFileNameFor(productName);
    return request;
}

} // namespace wizard
