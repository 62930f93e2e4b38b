// The publishing module: the program loads it for `quillmark publish` and `versions` only.
#include "cli/PublishCommand.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

extern "C" Q_DECL_EXPORT int quillmark_publish_main(const QStringList *arguments)
{
    const int status = cli::PublishCommand(*arguments);
    // Every file the publish wrote is closed by now (manifest, hash cache, versions),
    // and its threads are joined: the process ends here, without taking Qt and the
    // libraries apart piece by piece first.
    std::fflush(nullptr);
    std::_Exit(status);
}

extern "C" Q_DECL_EXPORT int quillmark_versions_main(const QStringList *arguments)
{
    return cli::VersionsCommand(*arguments);
}
