// The publishing module: the program loads it for `quillmark publish` and `versions` only.
#include "cli/PublishCommand.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT int quillmark_publish_main(const QStringList *arguments)
{
    return cli::PublishCommand(*arguments);
}

extern "C" Q_DECL_EXPORT int quillmark_versions_main(const QStringList *arguments)
{
    return cli::VersionsCommand(*arguments);
}
