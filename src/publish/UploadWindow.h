#pragma once
// The upload window (and the versions window it opens) lives in the module
// quillmark-publish-ui.so with libcurl, qtkeychain and the twenty-odd libraries they
// bring (TLS, LDAP, SSH, Kerberos), so that the main window starts without them
// and loads them on the first upload.

#include <QString>
#include <memory>

class QDialog;
class QWidget;

namespace platform {
class Dialogs;
}

namespace publish {

// The module carries its own copy of the program's static libraries: what they
// hold for the whole run is handed over from the window's copy.
struct UploadWindowHost {
    platform::Dialogs *dialogs = nullptr;
    QString programFolder;
    bool programInstalled = false;
    QString userDataFolder;
    QString previewFolder;
};

// The upload window over `parent`, its list filled from `listPath` as
// FrmUploadInfo::AddFilesToList does; nullptr with `error` set when the module is
// missing or cannot be loaded.
std::unique_ptr<QDialog> LoadUploadWindow(QWidget *parent, const QString &listPath, QString &error);

// The web address of the page the window's last publish sent, or "".
QString PublishedAddress(QDialog &window);

} // namespace publish
