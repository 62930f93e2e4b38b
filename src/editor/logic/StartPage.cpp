#include "editor/logic/StartPage.h"

#include "editor/logic/Branding.h"

#include <QStringList>

namespace editor {

QString startPageHtml()
{
    const QStringList lines{
        QStringLiteral("<HTML>"),
        QStringLiteral("<HEAD>"),
        QStringLiteral("<META NAME=\"GENERATOR\" Content=\"%1\">").arg(branding::kGeneratorCredit),
        QStringLiteral("<META NAME=\"DESCRIPTION\" Content=\"%1\">").arg(branding::kMetaPromotion),
        QStringLiteral("<TITLE>%1</TITLE>").arg(branding::kGeneratorCredit),
        QStringLiteral("</HEAD>"),
        QStringLiteral("<BODY>"),
        QStringLiteral("</BODY>"),
        QStringLiteral("</HTML>"),
    };
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace editor
