#include "publish/UploadWindow.h"

#include "cli/ProgramModule.h"
#include "platform/AppFolder.h"
#include "platform/Dialogs.h"

#include <QDialog>

namespace publish {
namespace {

struct UploadModule {
    QDialog *(*open)(const UploadWindowHost *, QWidget *, const QString *) = nullptr;
    void (*address)(QDialog *, QString *) = nullptr;
};

// Loaded on first use and kept: the windows it makes may outlive any one call.
UploadModule &uploadModule()
{
    static UploadModule module;
    return module;
}

bool loadModule(UploadModule &module, QString &error)
{
    const QString name = QStringLiteral("quillmark-publish-ui.so");
    module.open = reinterpret_cast<decltype(module.open)>(
        cli::LoadProgramFunction(name, "quillmark_upload_window", error));
    if (module.open)
        module.address = reinterpret_cast<decltype(module.address)>(
            cli::LoadProgramFunction(name, "quillmark_upload_address", error));
    if (!module.address)
        module.open = nullptr;
    return module.open != nullptr;
}

} // namespace

std::unique_ptr<QDialog> LoadUploadWindow(QWidget *parent, const QString &listPath, QString &error)
{
    UploadModule &module = uploadModule();
    if (!module.open && !loadModule(module, error))
        return nullptr;
    UploadWindowHost host;
    host.dialogs = &platform::dialogs();
    host.programFolder = platform::programFolder();
    host.programInstalled = platform::programInstalled();
    host.userDataFolder = platform::userDataFolder();
    host.previewFolder = platform::previewFolder();
    return std::unique_ptr<QDialog>(module.open(&host, parent, &listPath));
}

QString PublishedAddress(QDialog &window)
{
    // Only a window the module made comes here, so the module is loaded.
    QString address;
    if (const UploadModule &module = uploadModule(); module.address)
        module.address(&window, &address);
    return address;
}

} // namespace publish
