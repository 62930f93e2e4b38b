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

QString FreePagePathBeside(const QString &pagePath)
{
    const QFileInfo info(pagePath);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 2;; ++n) {
        const QString candidate = info.absolutePath() + QLatin1Char('/') + info.completeBaseName() +
                                  QStringLiteral(" (%1)").arg(n) + suffix;
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

platform::FileRequest SuggestedPageRequest(const QString &forgottenPath, const QString &productName,
                                           const QString &documentsFolder)
{
    platform::FileRequest request;
    request.title = QStringLiteral("Save the sales page as");
    request.filter = QStringLiteral("Web Page (*.htm)|*.htm|All files (*.*)|*.*");
    request.directory = documentsFolder;
    request.fileName = PageFileNameFor(productName);
    const QString typed = forgottenPath.trimmed();
    if (!typed.isEmpty()) {
        const QFileInfo info(typed);
        // A folder that does not exist cannot be opened: the documents folder stands in.
        // A folder alone keeps the product's name for the page.
        if (QFileInfo(info.absolutePath()).isDir())
            request.directory = info.absolutePath();
        if (!info.fileName().isEmpty())
            request.fileName = info.fileName();
    }
    return request;
}

} // namespace wizard
