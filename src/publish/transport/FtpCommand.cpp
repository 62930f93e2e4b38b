#include "publish/transport/FtpCommand.h"

namespace transport {

namespace {

QString lastSegment(const QString &path)
{
    return path.mid(qMax(path.lastIndexOf('/'), path.lastIndexOf('\\')) + 1);
}

} // namespace

// "local" remote. Both may hold double quotes and blanks; the local path and the
// remote path end with the same file name, which settles where the quoted part ends.
bool SplitPutArguments(const QString &args, QString &local, QString &remote)
{
    if (!args.startsWith('"'))
        return false;
    bool found = false;
    for (int close = args.indexOf(QLatin1String("\" "), 1); close > 0;
         close = args.indexOf(QLatin1String("\" "), close + 1)) {
        QString l = args.mid(1, close - 1), r = args.mid(close + 2);
        if (l.isEmpty() || r.isEmpty())
            continue;
        if (!found || lastSegment(l) == lastSegment(r)) {
            local = l;
            remote = r;
            found = true;
            if (lastSegment(l) == lastSegment(r))
                break;
        }
    }
    return found;
}

// remote "local", read the same way.
bool SplitGetArguments(const QString &args, QString &remote, QString &local)
{
    if (!args.endsWith('"') || args.size() < 4)
        return false;
    bool found = false;
    for (int open = args.lastIndexOf(QLatin1String(" \""), args.size() - 3); open > 0;
         open = args.lastIndexOf(QLatin1String(" \""), open - 1)) {
        QString r = args.left(open), l = args.mid(open + 2, args.size() - open - 3);
        if (l.isEmpty() || r.isEmpty())
            continue;
        if (!found || lastSegment(l) == lastSegment(r)) {
            remote = r;
            local = l;
            found = true;
            if (lastSegment(l) == lastSegment(r))
                break;
        }
    }
    return found;
}

} // namespace transport
