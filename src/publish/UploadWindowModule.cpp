// The upload module: the main window loads it when it first opens the upload window.
#include "platform/AppFolder.h"
#include "platform/Dialogs.h"
#include "publish/FrmUploadInfo.h"
#include "publish/UploadWindow.h"

extern "C" Q_DECL_EXPORT QDialog *quillmark_upload_window(const publish::UploadWindowHost *host,
                                                          QWidget *parent, const QString *listPath)
{
    platform::setDialogs(host->dialogs);
    platform::setProgramFolder(host->programFolder, host->programInstalled);
    platform::setUserDataFolder(host->userDataFolder);
    platform::setPreviewFolder(host->previewFolder);
    auto *window = new publish::FrmUploadInfo(parent);
    window->AddFilesToList(*listPath);
    return window;
}

extern "C" Q_DECL_EXPORT void quillmark_upload_address(QDialog *window, QString *address)
{
    *address = static_cast<publish::FrmUploadInfo *>(window)->liveAddress();
}
