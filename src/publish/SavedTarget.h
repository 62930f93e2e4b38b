#pragma once
// The upload window's saved settings, ftpinfo.ini: the server, the options and the
// list of files and folders to send. Read and written only here, by the window and
// the command line alike.
//
// The file keeps the layout of a saved window (section "TEXT" keyed by the controls'
// names, section "lstFiles" for the list), so files of earlier versions load as they
// were. The protocol is stored as a key ("ftp", "ftps", "sftp", "s3"; S3 targets add
// "txtRegion", "txtBucket" and "chkPathStyle"); the visible texts
// that earlier versions stored ("FTP", "FTP with TLS", "SFTP") still load.

#include "publish/UploadEngine.h"

#include <QString>
#include <QVector>

namespace publish {

struct SavedFile {
    QString name; // as the list shows it
    QString path;
};

struct SavedTarget {
    Target target;    // the port as a number (0 = the protocol's own)
    QString portText; // the port box as typed, which may not be a number
    bool onlyChanged = true;
    int connections = 3; // files sent side by side (1-8)
    QVector<SavedFile> files;

    // userDataFolder()/ftpinfo.ini
    static QString defaultPath();
    // A missing or unreadable file gives the defaults.
    static SavedTarget load(const QString &path);
    // Readable by the owner only (it holds the password); through a temporary file and
    // a rename. False when it could not be written (the old file is then intact).
    bool save(const QString &path) const;
};

QString ProtocolKey(Protocol protocol);
// The stored key, or an earlier version's visible text; anything else is FTP.
Protocol ProtocolFromKey(const QString &stored);

} // namespace publish
