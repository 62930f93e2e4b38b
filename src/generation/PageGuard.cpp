#include "generation/PageGuard.h"

#include "platform/AppFolder.h"
#include "platform/Dialogs.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace generation {
namespace {

QString recordPath()
{
    return platform::userDataFolder() + QStringLiteral("/written-pages.json");
}

// One key per page, whatever link or relative form named it.
QString pageKey(const QString &pagePath)
{
    const QFileInfo info(pagePath);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QJsonObject readRecord()
{
    QFile file(recordPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QString hashOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

void RememberPageWritten(const QString &pagePath)
{
    // Previews are rewritten at will and live only for one run.
    if (platform::inPreviewFolder(pagePath))
        return;
    const QString key = pageKey(pagePath);
    const QString hash = hashOf(pagePath);
    if (hash.isEmpty())
        return;
    QJsonObject record = readRecord();
    // Pages that are gone need no guard; dropping them keeps the record small.
    for (auto it = record.begin(); it != record.end();) {
        if (!QFileInfo::exists(it.key()))
            it = record.erase(it);
        else
            ++it;
    }
    record.insert(key, hash);
    QSaveFile file(recordPath());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(record).toJson());
        file.commit();
    }
}

bool PageChangedSinceLastWrite(const QString &pagePath)
{
    if (!QFileInfo(pagePath).isFile())
        return false;
    const QString remembered = readRecord().value(pageKey(pagePath)).toString();
    return remembered.isEmpty() || remembered != hashOf(pagePath);
}

OverwriteRisk RiskOfOverwriting(const QString &pagePath, bool editorHasUnsavedEditsOfPage)
{
    if (editorHasUnsavedEditsOfPage)
        return OverwriteRisk::UnsavedEdits;
    return PageChangedSinceLastWrite(pagePath) ? OverwriteRisk::ChangedOnDisk : OverwriteRisk::None;
}

QString OverwriteButtonText(OverwriteChoice choice)
{
    switch (choice) {
    case OverwriteChoice::Overwrite:
        return QStringLiteral("Overwrite");
    case OverwriteChoice::SaveElsewhere:
        return QStringLiteral("Save the new page under another name\u2026");
    case OverwriteChoice::Cancel:
        break;
    }
    return QStringLiteral("Cancel");
}

OverwriteChoice AskBeforeOverwriting(const QString &pagePath, bool editorHasUnsavedEditsOfPage,
                                     QWidget *parent)
{
    const OverwriteRisk risk = RiskOfOverwriting(pagePath, editorHasUnsavedEditsOfPage);
    if (risk == OverwriteRisk::None)
        return OverwriteChoice::Overwrite;
    const QString text = risk == OverwriteRisk::UnsavedEdits
                             ? QStringLiteral("The editor holds changes to %1 that are not saved. "
                                              "Generating the page again replaces them.")
                                   .arg(QDir::toNativeSeparators(pagePath))
                             : QStringLiteral("%1 was changed since Quillmark generated it. "
                                              "Generating the page again replaces those changes.")
                                   .arg(QDir::toNativeSeparators(pagePath));
    const OverwriteChoice order[] = {OverwriteChoice::Overwrite, OverwriteChoice::SaveElsewhere,
                                     OverwriteChoice::Cancel};
    QStringList buttons;
    for (OverwriteChoice choice : order)
        buttons << OverwriteButtonText(choice);
    const int chosen =
        platform::dialogs().choose(text, platform::kAppTitle, buttons, platform::Icon::Warning, parent);
    return chosen >= 0 && chosen < 3 ? order[chosen] : OverwriteChoice::Cancel;
}

} // namespace generation
