#include "publish/FTP.h"

#include "publish/transport/CurlTransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <utility>

namespace publish {

namespace {

const QString kCdFailed = QStringLiteral("Error during FTP CD operation.");
const QString kMkdFailed = QStringLiteral("Error during FTP MKD operation.");
const QString kPutFailed = QStringLiteral("Error during FTP Put operation.");
const QString kGetFailed = QStringLiteral("Error during FTP Get operation.");

QString joinLocal(const QString &folder, const QString &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// Why a name may not become a local file inside the chosen folder; "" when it may.
QString unsafeLocalName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String("."))
        return QStringLiteral("it is empty");
    if (name.startsWith('/') || name.startsWith('\\') || (name.size() > 1 && name[1] == ':'))
        return QStringLiteral("it is an absolute path");
    if (name.contains('/') || name.contains('\\'))
        return QStringLiteral("it holds a folder separator");
    if (name.contains(QLatin1String("..")))
        return QStringLiteral("it holds \"..\"");
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("it holds a control character");
    }
    return QString();
}

} // namespace

FTP::FTP(std::unique_ptr<transport::Transport> transport)
    : m_ctl(transport ? std::move(transport) : std::make_unique<transport::CurlTransport>())
{
}

FTP::~FTP() = default;

void FTP::setProgressSink(std::function<void(qint64, qint64)> sink)
{
    m_ctl->Progress = std::move(sink);
}

void FTP::status(const QString &text)
{
    if (m_status)
        m_status(text);
}

void FTP::WaitWhileBusy()
{
    // The transport reports completion through the event queue, so waiting for
    // the next event is enough; the windows stay painted meanwhile.
    while (m_ctl->StillExecuting())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void FTP::startAhead(const QString &command)
{
    m_ctl->Execute(command);
    m_ahead = command;
}

bool FTP::run(const QString &command)
{
    if (command != std::exchange(m_ahead, QString()))
        m_ctl->Execute(command);
    if (m_started)
        m_started();
    WaitWhileBusy();
    return m_ctl->ResponseCode() == 0;
}

QString FTP::failureText(const QString &fixedMessage) const
{
    if (m_ctl->ResponseCode() != 0 && !m_ctl->ResponseInfo().isEmpty())
        return m_ctl->ResponseInfo();
    return fixedMessage;
}

QString FTP::fFormatError(const QString &message, const QString &procedure, const QString &detail) const
{
    QStringList lines{QStringLiteral("Error Msg: ") + message, QStringLiteral("Procedure: ") + procedure};
    if (!detail.isEmpty()) {
        lines << detail;
    } else {
        lines << (m_err.number != 0 ? QStringLiteral("Error Number: ") + QString::number(m_err.number)
                                    : QString());
        lines << QStringLiteral("Error Source: ") +
                     (m_err.source.isEmpty() ? QStringLiteral("FTP Class") : m_err.source);
        if (!m_err.description.isEmpty())
            lines << QStringLiteral("Description: ") + m_err.description;
    }
    return lines.join(QStringLiteral("\r\n"));
}

bool FTP::FTPInit(const QString &url, const QString &userName, const QString &password, qint16 timeout,
                  quint16 remotePort, const QString &proxy, QString &error)
{
    Q_UNUSED(error); // setting the parameters cannot fail here
    m_err = {};
    m_ctl->URL = url;
    m_ctl->UserName = userName;
    m_ctl->Password = password;
    m_ctl->Protocol = transport::kProtocolFtp;
    m_ctl->RequestTimeout = timeout > 0 ? timeout : 300;
    if (remotePort != 0)
        m_ctl->RemotePort = remotePort;
    if (!proxy.isEmpty()) {
        m_ctl->AccessType = transport::kAccessNamedProxy;
        m_ctl->Proxy = proxy;
    } else {
        m_ctl->AccessType = transport::kAccessDefault;
    }
    return true;
}

bool FTP::FTPChangeRemoteFolder(const QString &remoteFolder, QString &error)
{
    m_err = {};
    status(QStringLiteral("Changing remote directory to ") + remoteFolder);
    if (run(QStringLiteral("CD ") + remoteFolder))
        return true;
    error = fFormatError(failureText(kCdFailed), QStringLiteral("FTPChangeRemoteFolder"), QString());
    return false;
}

bool FTP::FTPCreateRemoteFolder(const QString &remoteFolder, QString &error)
{
    m_err = {};
    status(QStringLiteral("Creating Remote Folder ") + remoteFolder);
    // A refusal usually means the folder exists already; a real problem shows at
    // the change into it that follows.
    if (run(QStringLiteral("MKDIR ") + remoteFolder) || m_ctl->ResponseCode() == transport::kServerRefused)
        return true;
    error = fFormatError(failureText(kMkdFailed), QStringLiteral("FTPCreateRemoteFolder"), QString());
    return false;
}

bool FTP::FTPPut(const QString &localFolder, const QString &fileName, const QString &remoteFolder,
                 QString &error)
{
    m_err = {};
    const QString folder = remoteFolder.isEmpty() ? QStringLiteral(".") : remoteFolder;
    const QString local = localFolder + fileName;
    status(QStringLiteral("Uploading File : \r\n") + local);
    bool ok = run(QStringLiteral("Put \"") + local + QStringLiteral("\" ") + folder + '/' + fileName);
    if (m_fileSent)
        m_fileSent(local, ok);
    if (ok)
        return true;
    error = fFormatError(failureText(kPutFailed), QStringLiteral("FTPPut"), QString());
    return false;
}

bool FTP::FTPPutAll(const QString &localFolder, const QString &namePart, const QString &remoteFolder,
                    QString &error)
{
    m_err = {};
    QDir dir(localFolder);
    if (localFolder.isEmpty() || !dir.exists()) {
        m_err = {76, QString(), QStringLiteral("Path not found: ") + localFolder};
        error = fFormatError(kPutFailed, QStringLiteral("FTPPutAll"), QString());
        return false;
    }
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    bool found = false;
    for (const QString &name : names) {
        if (!name.contains(namePart, Qt::CaseInsensitive))
            continue;
        found = true;
        if (!FTPPut(localFolder, name, remoteFolder, error))
            return false;
    }
    if (!found)
        error = kNoFilesFound;
    return found;
}

bool FTP::FTPGet(const QString &localFolder, const QString &fileName, const QString &remoteFolder,
                 QString &error, bool specifyFolder)
{
    m_err = {};
    // The name may come from a server's listing: it must not lead out of the folder.
    if (const QString why = unsafeLocalName(fileName); !why.isEmpty()) {
        error = fFormatError(QStringLiteral("The name \"%1\" was refused: %2.").arg(fileName, why),
                             QStringLiteral("FTPGet"), QString());
        return false;
    }
    const QString local = joinLocal(localFolder, fileName);
    // An existing copy is replaced, even a read-only one, but only once the new
    // one has arrived complete: a failed transfer keeps it as it was, read-only
    // included. The owner's bits decide, not what this process may do (root may
    // write anything), and the "user" flags are left out so as not to be written
    // back as the owner's.
    const QFile::Permissions before =
        QFile::permissions(local) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    const bool readOnly = QFileInfo(local).isFile() && !(before & QFile::WriteOwner) &&
                          QFile::setPermissions(local, before | QFile::WriteOwner);
    const QString command = specifyFolder ? QStringLiteral("Get ") + remoteFolder + '/' + fileName
                                          : QStringLiteral("Get ") + fileName;
    if (run(command + QStringLiteral(" \"") + local + '"'))
        return true;
    if (readOnly)
        QFile::setPermissions(local, before);
    error = fFormatError(failureText(kGetFailed), QStringLiteral("FTPGet"), QString());
    return false;
}

bool FTP::FTPGetAll(const QString &localFolder, const QString &namePart, const QString &remoteFolder,
                    QString &error)
{
    m_err = {};
    if (!run(QStringLiteral("CD ") + remoteFolder) || !run(QStringLiteral("Dir"))) {
        error = fFormatError(failureText(kGetFailed), QStringLiteral("FTPGetAll"), QString());
        return false;
    }
    QString listing;
    QString piece = m_ctl->GetChunk(256);
    while (!piece.isEmpty()) {
        listing += piece;
        piece = m_ctl->GetChunk(256);
    }
    if (listing.isEmpty()) {
        error = kNoFilesFound;
        return false;
    }
    return fGetFileList(localFolder, namePart, listing, remoteFolder, error);
}

bool FTP::fGetFileList(const QString &localFolder, const QString &pattern, QString listingText,
                       const QString &remoteFolder, QString &error)
{
    QString firstRefusal;
    while (!listingText.isEmpty()) {
        QString line;
        int cr = listingText.indexOf('\r');
        if (cr < 0) {
            // A last line without a line break is still a name.
            line = listingText;
            listingText.clear();
        } else {
            if (listingText.size() < 3)
                break;
            line = listingText.left(cr);
            listingText.remove(0, cr + 2);
        }
        // Names are requested as listed: servers tell case apart.
        if (line.isEmpty() || !line.contains(pattern, Qt::CaseInsensitive))
            continue;
        // "." is the folder itself, not a file in it.
        if (line == QLatin1String("."))
            continue;
        if (!unsafeLocalName(line).isEmpty()) {
            // A hostile listing: the name is refused and reported, the others still come.
            QString refusal;
            FTPGet(localFolder, line, remoteFolder, refusal, false);
            if (firstRefusal.isEmpty())
                firstRefusal = refusal;
            continue;
        }
        if (!FTPGet(localFolder, line, remoteFolder, error, false))
            return false;
    }
    if (!firstRefusal.isEmpty()) {
        error = firstRefusal;
        return false;
    }
    return true;
}

void FTP::FTPClose()
{
    m_ahead.clear();
    m_ctl->Execute(QStringLiteral("CLOSE"));
}

} // namespace publish
