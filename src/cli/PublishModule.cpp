// The publishing module: the program loads it for `quillmark publish` and `versions` only.
#include "cli/PublishCommand.h"
#include "publish/transport/CurlTransport.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <thread>

extern "C" Q_DECL_EXPORT int quillmark_publish_main(const QStringList *arguments)
{
    // libcurl sets itself up while the options, the settings and the site are read.
    std::thread(transport::SetUpCurl).detach();
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
