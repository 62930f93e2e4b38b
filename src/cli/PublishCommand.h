#pragma once
// `quillmark publish`. It lives in a module of its own, loaded only for this command,
// so that generate and check do not load libcurl, its TLS and SSH libraries and
// Qt Network at every start.

#include <QStringList>

namespace cli {

// `arguments` follow the command's name. Returns the exit status.
int PublishCommand(const QStringList &arguments);
// `quillmark versions`: the versions kept of a server.
int VersionsCommand(const QStringList &arguments);

} // namespace cli
