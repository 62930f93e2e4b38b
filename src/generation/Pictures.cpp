#include "generation/Pictures.h"

#include "cli/ProgramModule.h"
#include "generation/FileList.h"
#include "generation/SearchData.h"
#include "generation/TemplateLanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QUrl>
#include <mutex>

namespace generation {
namespace {

// libvips brings about a hundred libraries (libcurl among them): they are loaded with
// the module quillmark-pictures.so when a picture is first prepared, not at every start.
struct PictureModule {
    void (*prepare)(const QString &, const QString &, const PictureSlot &, const QString &,
                    PictureSet &) = nullptr;
    void (*problem)(const QString &, QString &) = nullptr;
    QString error;
};

const PictureModule &pictureModule()
{
    static PictureModule module;
    static std::once_flag once;
    std::call_once(once, [] {
        const QString name = QStringLiteral("quillmark-pictures.so");
        module.prepare = reinterpret_cast<decltype(module.prepare)>(
            cli::LoadProgramFunction(name, "quillmark_prepare_pictures", module.error));
        if (module.prepare)
            module.problem = reinterpret_cast<decltype(module.problem)>(
                cli::LoadProgramFunction(name, "quillmark_picture_problem", module.error));
        if (module.problem)
            module.error.clear();
    });
    return module;
}

} // namespace

PictureSlot PictureSlotFor(const QString &templateName)
{
    // The widest the picture gets on each template, from its style sheet (border-box
    // slots less their padding and border), the viewport under which it takes the whole
    // width (the side-by-side heroes of Marigold and Midnight wrap there), and the
    // template's ground and text colours.
    static const QHash<QString, PictureSlot> table = {
        {QStringLiteral("clarity"), {944, 1000, 0xffffff, 0x14171f, QStringLiteral("Clarity_mark.svg")}},
        {QStringLiteral("ember"), {1000, 1040, 0x0d0b0a, 0xf6efe8, QStringLiteral("Ember_flame.svg")}},
        {QStringLiteral("handbook"), {710, 860, 0xffffff, 0x1f2933, QStringLiteral("Handbook_book.svg")}},
        {QStringLiteral("letterpress"),
         {730, 760, 0xfbf6ec, 0x2a2119, QStringLiteral("Letterpress_seal.svg")}},
        {QStringLiteral("marigold"), {476, 1004, 0xfff8ee, 0x2e1a3a, QStringLiteral("Marigold_sun.svg")}},
        {QStringLiteral("midnight"), {460, 1024, 0x0a0e1f, 0xe8ebf7, QStringLiteral("Midnight_logo.svg")}},
    };
    return table.value(templateName.toLower());
}

QString PictureReadProblem(const QString &path)
{
    // Without the module nothing is prepared, and nothing refused here: generation says so.
    QString problem;
    if (const PictureModule &module = pictureModule(); module.problem)
        module.problem(path, problem);
    return problem;
}

QStringList PictureSet::files() const
{
    QStringList names;
    for (const PictureFile &f : webp)
        names << f.name;
    for (const PictureFile &f : fallback)
        if (!names.contains(f.name))
            names << f.name;
    for (const QString &name : {share, icon, touchIcon})
        if (!name.isEmpty())
            names << name;
    return names;
}

PictureSet MakePictures(const QString &source, const QString &folder, const PictureSlot &slot,
                        const QString &productName)
{
    PictureSet set;
    const PictureModule &module = pictureModule();
    if (!module.prepare)
        set.problem =
            QStringLiteral("The product picture cannot be prepared for the page: %1.").arg(module.error);
    else
        module.prepare(source, folder, slot, productName, set);
    return set;
}

namespace {

QString candidates(const QVector<PictureFile> &files)
{
    QStringList list;
    for (const PictureFile &f : files)
        list << QStringLiteral("%1 %2w").arg(EscapeAttribute(f.name)).arg(f.width);
    return list.join(QStringLiteral(", "));
}

// The name of the file shown at the slot's width: the narrowest that fills it.
QString shownAt(const QVector<PictureFile> &files, int width)
{
    for (const PictureFile &f : files)
        if (f.width >= width)
            return f.name;
    return files.isEmpty() ? QString() : files.last().name;
}

// The set as a <picture>: WebP first where it is not the fallback itself. `lead` and
// `tail` are the <img>'s attributes before src and after height.
QString pictureElement(const PictureSet &set, const QString &sizes, const QString &lead, const QString &tail)
{
    const bool ownWebp =
        set.webp.size() == set.fallback.size() && set.webp.first().name == set.fallback.first().name;
    QString picture = QStringLiteral("<picture>");
    if (!set.webp.isEmpty() && !ownWebp)
        picture += QStringLiteral("<source type=\"image/webp\" srcset=\"%1\" sizes=\"%2\">")
                       .arg(candidates(set.webp), sizes);
    picture +=
        QStringLiteral("<img%1 src=\"%2\" srcset=\"%3\" sizes=\"%4\" width=\"%5\" height=\"%6\"%7></picture>")
            .arg(lead, EscapeAttribute(shownAt(set.fallback, set.width)), candidates(set.fallback), sizes)
            .arg(set.width)
            .arg(set.height)
            .arg(tail);
    return picture;
}

} // namespace

QString WithPictureMarkup(const QString &page, const PictureSet &set, const PictureSlot &slot,
                          const QString &shownName, const QString &pageAddress)
{
    if (set.fallback.isEmpty())
        return page;
    QString out = page;
    const QString src = QStringLiteral("src=\"%1\"").arg(EscapeAttribute(shownName));
    const qsizetype at = out.indexOf(QStringLiteral("<img itemprop=\"image\" ") + src);
    if (at >= 0) {
        const qsizetype end = out.indexOf(QLatin1Char('>'), at);
        QString rest = out.mid(at, end - at); // the tag's other attributes: alt and any added
        rest.remove(0, rest.indexOf(src) + src.size());
        const QString sizes =
            QStringLiteral("(max-width: %1px) 100vw, %2px").arg(slot.fullBelow).arg(slot.width);
        // The product picture stands at the top of every template: it is what the
        // visitor waits for, so it is fetched first and never lazily.
        out.replace(at, end + 1 - at,
                    pictureElement(set, sizes, QStringLiteral(" itemprop=\"image\""),
                                   QStringLiteral(" fetchpriority=\"high\"") + rest));
    }
    // Link previews get the picture made for them.
    if (!set.share.isEmpty()) {
        auto url = [&](const QString &name) {
            return EscapeAttribute(pageAddress.isEmpty() ? name : AddressBeside(pageAddress, name));
        };
        for (const char *meta :
             {"<meta property=\"og:image\" content=\"", "<meta name=\"twitter:image\" content=\""})
            out.replace(QLatin1String(meta) + url(shownName) + QLatin1Char('"'),
                        QLatin1String(meta) + url(set.share) + QLatin1Char('"'));
    }
    if (!set.icon.isEmpty() && !slot.mark.isEmpty()) {
        out.replace(QStringLiteral("<link rel=\"icon\" href=\"%1\" type=\"image/svg+xml\">").arg(slot.mark),
                    QStringLiteral("<link rel=\"icon\" href=\"%1\" sizes=\"32x32\" type=\"image/png\">\n"
                                   "<link rel=\"apple-touch-icon\" href=\"%2\">")
                        .arg(EscapeAttribute(set.icon), EscapeAttribute(set.touchIcon)));
    }
    return out;
}

InsertedPicture PrepareInsertedPicture(const QString &address, const QString &pagePath)
{
    InsertedPicture inserted;
    const QString typed = address.trimmed();
    if (pagePath.isEmpty() || typed.isEmpty())
        return inserted; // an unsaved page has no folder to put files in
    const QUrl url(typed);
    QString source;
    if (url.isLocalFile())
        source = url.toLocalFile();
    else if (url.scheme().isEmpty())
        source = QDir(QFileInfo(pagePath).absolutePath()).absoluteFilePath(typed);
    if (source.isEmpty() || !QFileInfo(source).isFile())
        return inserted;

    // An in-page picture is shown at its own width up to a column's, and spans a
    // narrower screen: the slot is the picture itself, capped at 800 px.
    const QString folder = QFileInfo(pagePath).absolutePath();
    PictureSlot slot;
    slot.width = 800;
    slot.pageIcons = false;
    PictureSet set;
    if (inserted.problem = PictureReadProblem(source); inserted.problem.isEmpty())
        set = MakePictures(source, folder, slot, QString());
    if (!set.problem.isEmpty())
        inserted.problem = set.problem;
    if (!inserted.problem.isEmpty()) {
        // The step speaks of the product picture; here it is any picture.
        inserted.problem.replace(QStringLiteral("The product picture "), QStringLiteral("The picture "));
        return inserted;
    }
    if (set.fallback.isEmpty())
        return inserted; // SVG, GIF and the like go in as they are
    const QString sizes = QStringLiteral("(max-width: %1px) 100vw, %1px").arg(set.width);
    // Not the page's first picture: fetched when it is about to be seen.
    inserted.markup = pictureElement(set, sizes, QString(),
                                     QStringLiteral(" alt=\"\" loading=\"lazy\" decoding=\"async\""));
    for (const QString &name : set.files())
        inserted.files << QDir(folder).absoluteFilePath(name);

    // A page published from its list must take the new files along.
    const QString listPath = FileList::PathFor(pagePath);
    QStringList listed;
    if (QFileInfo(listPath).isFile() && FileList::Read(listPath, listed)) {
        bool added = false;
        for (const QString &file : inserted.files)
            if (!listed.contains(file)) {
                listed << file;
                added = true;
            }
        QSaveFile list(listPath);
        if (added && list.open(QIODevice::WriteOnly)) {
            list.write(FileList::Compose(pagePath, listed));
            list.commit();
        }
    }
    return inserted;
}

} // namespace generation
