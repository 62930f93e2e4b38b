#include "platform/FtpCommand.h"

namespace platform {

bool SplitPutArguments(const QString &args, QString &local, QString &remote)
{
    if (!args.startsWith('"'))
        return false;
    int close = args.indexOf('"', 1);
    if (close < 0)
        return false;
    local = args.mid(1, close - 1);
    remote = args.mid(close + 1).trimmed();
    return !local.isEmpty() && !remote.isEmpty();
}

bool SplitGetArguments(const QString &args, QString &remote, QString &local)
{
    if (!args.endsWith('"'))
        return false;
    int open = args.lastIndexOf('"', args.size() - 2);
    if (open < 0)
        return false;
    local = args.mid(open + 1, args.size() - open - 2);
    remote = args.left(open).trimmed();
    return !local.isEmpty() && !remote.isEmpty();
}

} // namespace platform
