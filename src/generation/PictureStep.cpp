// The picture step itself, built into the module quillmark-pictures.so (see Pictures.h
// for what it makes).
// Before any Qt header: glib names a member "slots", which Qt defines as a macro.
#include <vips/vips8>

#include "generation/Pictures.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>

namespace generation {
namespace {

using vips::VImage;

// Past this a picture is more likely a decompression bomb than a product shot.
constexpr qint64 kMaxPixels = 100'000'000;
// A phone's picks, so that it need not take the slot's: 480 at 1x, 768 for the
// common 1.75x-2x screens of about 400 px.
constexpr int kPhoneWidths[] = {480, 768};
constexpr int kShareWidth = 1200, kShareHeight = 630, kShareMargin = 48;
constexpr int kTall = 10'000'000; // no limit on a picture's height
constexpr int kWebpQuality = 75, kJpegQuality = 80;
// Part of every name: a change of recipe must not be served from old files.
const char kRecipe[] = "pictures-1";

void startVips()
{
    static std::once_flag once;
    std::call_once(once, [] {
        vips_init("quillmark");
        // Each picture is read once per size; a cache would only hold memory.
        vips_cache_set_max(0);
        // Joins libvips' worker threads before exit: a leak check that stops the world
        // while they are still winding down can crash, and so fail the whole run.
        // The module is never unloaded, so the handler stays valid.
        std::atexit([] { vips_shutdown(); });
    });
}

QString hash8(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(8));
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// As the copies beside a page: never more open than the source, a private picture stays private.
bool writeFile(const QString &path, const QByteArray &bytes, QFileDevice::Permissions sourcePermissions)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.setPermissions(out.permissions() & sourcePermissions);
    return out.write(bytes) == bytes.size() && out.commit();
}

QByteArray fromVips(VipsBlob *blob)
{
    size_t size = 0;
    const void *data = vips_blob_get(blob, &size);
    QByteArray bytes(static_cast<const char *>(data), qsizetype(size));
    vips_area_unref(reinterpret_cast<VipsArea *>(blob));
    return bytes;
}

// The source bytes as a blob vips reads without copying; the bytes must outlive it.
struct Blob {
    explicit Blob(const QByteArray &bytes)
        : blob(vips_blob_new(nullptr, bytes.constData(), size_t(bytes.size())))
    {
    }
    ~Blob() { vips_area_unref(reinterpret_cast<VipsArea *>(blob)); }
    Blob(const Blob &) = delete;
    Blob &operator=(const Blob &) = delete;
    VipsBlob *blob;
};

// Upright, in sRGB, no wider than `width` (never enlarged), in memory: the one decode
// of the source, which every file is then made from.
VImage decoded(const Blob &source, int width)
{
    VImage image =
        VImage::thumbnail_buffer(source.blob, width,
                                 VImage::option()->set("height", kTall)->set("size", VIPS_SIZE_DOWN))
            .copy_memory();
    // Not every saver drops what the camera wrote: it goes here, for all of them.
    gchar **fields = vips_image_get_fields(image.get_image());
    for (gchar **field = fields; *field; ++field) {
        const QByteArray name(*field);
        if (name.startsWith("exif-") || name == "xmp-data" || name == "iptc-data" ||
            name == "icc-profile-data" || name == "orientation")
            image.remove(*field);
    }
    g_strfreev(fields);
    return image;
}

// No wider than `width` and no taller than `height`: never enlarged, except to fill an
// icon's square.
VImage scaled(const VImage &image, int width, int height, VipsInteresting crop = VIPS_INTERESTING_NONE)
{
    if (crop == VIPS_INTERESTING_NONE && width >= image.width() && height >= image.height())
        return image;
    const VipsSize size = crop == VIPS_INTERESTING_NONE ? VIPS_SIZE_DOWN : VIPS_SIZE_BOTH;
    return image
        .thumbnail_image(width, VImage::option()->set("height", height)->set("size", size)->set("crop", crop))
        .copy_memory();
}

// The WebP without its EXIF, XMP and ICC chunks: libvips 8.14.1 writes them in spite of
// "strip".
QByteArray withoutWebpMetadata(const QByteArray &bytes)
{
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WEBP")
        return bytes;
    QByteArray out = bytes.left(12);
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const QByteArray kind = bytes.mid(at, 4);
        const qsizetype size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const qsizetype whole = 8 + size + (size & 1);
        if (at + whole > bytes.size())
            return bytes; // not a file to cut: left as the saver made it
        QByteArray chunk = bytes.mid(at, whole);
        if (kind == "VP8X" && size >= 1)
            chunk[8] = char(chunk[8] & ~(0x20 | 0x08 | 0x04)); // no ICC, EXIF, XMP
        if (kind != "EXIF" && kind != "XMP " && kind != "ICCP")
            out += chunk;
        at += whole;
    }
    qToLittleEndian<quint32>(quint32(out.size() - 8), out.data() + 4);
    return out;
}

QByteArray webp(const VImage &image)
{
    return withoutWebpMetadata(
        fromVips(image.webpsave_buffer(VImage::option()->set("Q", kWebpQuality)->set("strip", true))));
}

QByteArray png(const VImage &image)
{
    return fromVips(image.pngsave_buffer(VImage::option()->set("compression", 9)->set("strip", true)));
}

QByteArray jpeg(const VImage &image)
{
    VImage flat = image.has_alpha()
                      ? image.flatten(VImage::option()->set("background", std::vector<double>{255, 255, 255}))
                      : image;
    return fromVips(flat.jpegsave_buffer(
        VImage::option()->set("Q", kJpegQuality)->set("optimize_coding", true)->set("strip", true)));
}

std::vector<double> rgb(quint32 colour)
{
    return {double((colour >> 16) & 0xff), double((colour >> 8) & 0xff), double(colour & 0xff)};
}

// The product picture on the template's colours. The product's name is not drawn:
// libvips draws text through Pango, whose background font threads (Pango 1.50) were
// seen to crash the process with a division by zero during generation.
QByteArray sharePicture(const VImage &source, const PictureSlot &slot)
{
    const std::vector<double> background = rgb(slot.background);
    const int inner = kShareWidth - 2 * kShareMargin;
    VImage canvas =
        VImage::black(kShareWidth, kShareHeight).new_from_image(background).cast(VIPS_FORMAT_UCHAR);
    canvas = canvas.copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    const int pictureBottom = kShareHeight - kShareMargin;
    VImage picture = scaled(source, inner, pictureBottom - kShareMargin);
    if (picture.has_alpha())
        picture = picture.flatten(VImage::option()->set("background", background));
    picture = picture.colourspace(VIPS_INTERPRETATION_sRGB);
    if (picture.bands() > 3)
        picture = picture.extract_band(0, VImage::option()->set("n", 3));
    canvas = canvas.insert(picture.cast(VIPS_FORMAT_UCHAR), (kShareWidth - picture.width()) / 2,
                           kShareMargin + (pictureBottom - kShareMargin - picture.height()) / 2);
    return jpeg(canvas);
}

// Whether anything in the source must not reach the page as it is: camera metadata, a
// rotation left to the viewer, or colours in another profile.
bool carriesMore(const VImage &header)
{
    for (const char *field : {"exif-data", "xmp-data", "iptc-data", "icc-profile-data"})
        if (header.get_typeof(field) != 0)
            return true;
    return header.get_typeof("orientation") != 0 && header.get_int("orientation") > 1;
}

// The extension of a kind of picture that is prepared for the page, from its loader's
// type name (e.g. "VipsForeignLoadJpegBuffer"); "" for the kinds that go as they are.
QString preparedExtension(const char *loader)
{
    const QByteArray kind(loader ? loader : "");
    if (kind.startsWith("VipsForeignLoadJpeg"))
        return QStringLiteral("jpg");
    if (kind.startsWith("VipsForeignLoadPng"))
        return QStringLiteral("png");
    if (kind.startsWith("VipsForeignLoadWebp"))
        return QStringLiteral("webp");
    return {};
}

QString cannotRead(const QString &path, const vips::VError &e)
{
    QString why;
    for (const QString &line :
         (QString::fromUtf8(e.what()) + QLatin1Char('\n') + QString::fromUtf8(vips_error_buffer()))
             .split(QLatin1Char('\n')))
        if (why.isEmpty())
            why = line.trimmed();
    vips_error_clear();
    return QStringLiteral("The product picture %1 cannot be read as a picture (%2).")
        .arg(path, why.isEmpty() ? QStringLiteral("damaged data") : why);
}

QString tooLarge(const QString &path, const VImage &header)
{
    if (qint64(header.width()) * header.height() <= kMaxPixels)
        return {};
    return QStringLiteral("The product picture %1 is %2 x %3 pixels, too large to prepare for a page.")
        .arg(path)
        .arg(header.width())
        .arg(header.height());
}

} // namespace

QString PreparePictureProblem(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    startVips();
    try {
        // Read through the open file: a name is never parsed for load options.
        const vips::VSource source = vips::VSource::new_from_descriptor(file.handle());
        const QString extension = preparedExtension(vips_foreign_find_load_source(source.get_source()));
        vips_error_clear();
        if (extension.isEmpty())
            return {};
        return tooLarge(path, VImage::new_from_source(source, ""));
    } catch (const vips::VError &e) {
        return cannotRead(path, e);
    }
}

PictureSet PreparePictures(const QString &source, const QString &folder, const PictureSlot &slot,
                           const QString &productName)
{
    PictureSet set;
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        set.problem = QStringLiteral("The product picture %1 cannot be read.").arg(source);
        return set;
    }
    const QByteArray bytes = file.readAll();
    startVips();
    const QString extension =
        preparedExtension(vips_foreign_find_load_buffer(bytes.constData(), size_t(bytes.size())));
    vips_error_clear();
    if (extension.isEmpty())
        return set; // kept as it is: vector, animated or a format browsers take as it is

    const QString sourceHash = hash8(bytes + kRecipe + QByteArray::number(slot.width));
    auto have = [&](const QString &name) { return QFileInfo(joinPath(folder, name)).isFile(); };
    auto put = [&](const QString &name, const QByteArray &data) {
        if (!writeFile(joinPath(folder, name), data, file.permissions()))
            throw QStringLiteral("%1 cannot be written beside the page.").arg(name);
        ++set.encoded;
    };
    try {
        Blob blob(bytes);
        const VImage header = VImage::new_from_buffer(bytes.constData(), size_t(bytes.size()), "");
        if (set.problem = tooLarge(source, header); !set.problem.isEmpty())
            return set;
        const bool turned = header.get_typeof("orientation") != 0 && header.get_int("orientation") >= 5;
        const int sourceWidth = turned ? header.height() : header.width();
        const int sourceHeight = turned ? header.width() : header.height();
        const bool keepable = !carriesMore(header);
        const qint64 sourceBytes = bytes.size();

        QVector<int> widths;
        for (const int w : {slot.width, 2 * slot.width})
            if (const int width = std::min(w, sourceWidth); !widths.contains(width))
                widths << width;
        for (const int w : kPhoneWidths) {
            // A phone size within 5% of one already made would only add a file.
            const bool near = std::any_of(widths.begin(), widths.end(),
                                          [w](int made) { return std::abs(made - w) * 20 < w; });
            if (w < std::min(2 * slot.width, sourceWidth) && !near)
                widths << w;
        }
        std::sort(widths.begin(), widths.end());
        set.width = std::min(slot.width, sourceWidth);
        set.height = std::max(1, int(qint64(sourceHeight) * set.width / sourceWidth));
        // Decoded once, and only when a file is missing, at the widest any file needs.
        const int baseWidth = std::min(sourceWidth, std::max(widths.last(), kShareWidth - 2 * kShareMargin));
        std::optional<VImage> base;
        auto picture = [&]() -> const VImage & {
            if (!base)
                base = decoded(blob, baseWidth);
            return *base;
        };

        const bool webpSource = extension == QLatin1String("webp");
        auto own = [&](const VImage &image) {
            return webpSource ? webp(image) : extension == QLatin1String("png") ? png(image) : jpeg(image);
        };
        bool webpDropped = false, ownDropped = false;
        for (const int width : widths) {
            const QString stem = QStringLiteral("picture-%1-%2.").arg(width).arg(sourceHash);
            const QString webpName = stem + QStringLiteral("webp");
            const QString ownName = stem + extension;
            // A size made before has one file or both: the one missing was heavier than
            // the source and is not made again.
            if (!have(webpName) && !have(ownName)) {
                const VImage image = scaled(picture(), width, kTall);
                if (const QByteArray data = webp(image); data.size() <= sourceBytes)
                    put(webpName, data);
                if (!webpSource) {
                    const QByteArray data = own(image);
                    if (data.size() <= sourceBytes)
                        put(ownName, data);
                }
            }
            if (have(webpName))
                set.webp << PictureFile{webpName, width};
            else
                webpDropped = true;
            if (!webpSource && have(ownName))
                set.fallback << PictureFile{ownName, width};
            else if (!webpSource)
                ownDropped = true;
        }
        if (webpSource) {
            set.fallback = set.webp;
            ownDropped = webpDropped;
        } else if (webpDropped) {
            set.webp.clear(); // a <source> short of a size would show a narrower one, blurred
        }
        if (ownDropped && (set.fallback.isEmpty() || set.fallback.last().width < sourceWidth)) {
            // Where a size would outweigh the source, the source's own size serves: its very
            // bytes when it carries nothing the page must not show.
            const int width = keepable ? sourceWidth : baseWidth;
            const QString name = QStringLiteral("picture-%1-%2.").arg(width).arg(sourceHash) + extension;
            if (!have(name))
                put(name, keepable ? bytes : own(picture()));
            set.fallback << PictureFile{name, width};
            if (webpSource)
                set.webp = set.fallback;
        }
        if (!slot.pageIcons)
            return set;
        set.icon = QStringLiteral("icon-32-%1.png").arg(sourceHash);
        if (!have(set.icon))
            put(set.icon, png(scaled(picture(), 32, 32, VIPS_INTERESTING_CENTRE)));
        set.touchIcon = QStringLiteral("icon-180-%1.png").arg(sourceHash);
        if (!have(set.touchIcon))
            put(set.touchIcon, png(scaled(picture(), 180, 180, VIPS_INTERESTING_CENTRE)));
        set.share = QStringLiteral("share-%1.jpg")
                        .arg(hash8(sourceHash.toLatin1() + productName.toUtf8() +
                                   QByteArray::number(slot.background) + QByteArray::number(slot.text)));
        if (!have(set.share))
            put(set.share, sharePicture(picture(), slot));
    } catch (const vips::VError &e) {
        set = PictureSet();
        set.problem = cannotRead(source, e);
    } catch (const QString &why) {
        set = PictureSet();
        set.problem = why;
    }
    return set;
}

} // namespace generation

// The module's entry points, found by name: C linkage, C++ types on both sides (one
// compiler, one Qt).
extern "C" __attribute__((visibility("default"))) void
quillmark_prepare_pictures(const QString &source, const QString &folder, const generation::PictureSlot &slot,
                           const QString &productName, generation::PictureSet &out)
{
    out = generation::PreparePictures(source, folder, slot, productName);
}

extern "C" __attribute__((visibility("default"))) void quillmark_picture_problem(const QString &path,
                                                                                 QString &out)
{
    out = generation::PreparePictureProblem(path);
}
