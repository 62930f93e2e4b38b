// The product picture as the page sends it: upright, in sRGB, without camera data,
// never enlarged nor heavier than its source, made once, and offered in <picture>.
#include <vips/vips8> // before Qt: glib names a member "slots"

#include "SampleProducts.h"
#include "check/PageCheck.h"
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "generation/FileList.h"
#include "generation/Pictures.h"
#include "generation/modTemplates.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace generation;
using testing_support::readAll;
using testing_support::writeAll;
using vips::VImage;

namespace {

VImage load(const QString &path)
{
    return VImage::new_from_file(path.toUtf8().constData());
}

// A CMYK JPEG whose camera says how to turn it (6: right; 5: right and mirrored) and
// where it was: EXIF written by hand (IFD0: orientation and a GPS IFD holding a
// latitude reference).
void writeCameraJpeg(const QString &path, int orientation)
{
    QByteArray exif("Exif\0\0II*\0\x08\0\0\0\x02\0", 16);
    auto entry = [&](quint16 tag, quint16 type, quint32 value) {
        char e[12];
        qToLittleEndian(tag, e), qToLittleEndian(type, e + 2), qToLittleEndian(quint32(1), e + 4);
        qToLittleEndian(value, e + 8);
        exif.append(e, 12);
    };
    entry(0x0112, 3, quint32(orientation)); // SHORT
    entry(0x8825, 4, 38);                   // GPS IFD at 38 (from the TIFF header)
    exif.append("\0\0\0\0\x01\0", 6);
    exif.append("\x01\0\x02\0\x02\0\0\0N\0\0\0\0\0\0\0", 16); // GPSLatitudeRef "N"; 2 chars
    VImage cmyk =
        (VImage::black(64, 32, VImage::option()->set("bands", 4)) + std::vector<double>{10, 200, 30, 0})
            .cast(VIPS_FORMAT_UCHAR)
            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_CMYK));
    cmyk.set("orientation", orientation);
    vips_image_set_blob_copy(cmyk.get_image(), "exif-data", exif.constData(), size_t(exif.size()));
    cmyk.jpegsave(path.toUtf8().constData());
}

class Pictures : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    testing_support::RecordingDialogs dialogs;
};

} // namespace

TEST_F(Pictures, CameraJpegGoesOutUprightInSrgbWithoutItsMetadata)
{
    for (const int orientation : {6, 5}) {
        SCOPED_TRACE(orientation);
        const QString shot = tmp.filePath(QString("camera%1.jpg").arg(orientation));
        writeCameraJpeg(shot, orientation);
        ASSERT_NE(load(shot).get_typeof("exif-ifd3-GPSLatitudeRef"), 0u); // the source does carry it
        const PictureSet set = MakePictures(shot, tmp.path(), PictureSlotFor("Clarity"), "Camera");
        ASSERT_TRUE(set.problem.isEmpty()) << qPrintable(set.problem);
        ASSERT_EQ(set.fallback.size(), 1); // 32 px wide once upright: one size, never enlarged
        EXPECT_EQ(std::make_pair(set.width, set.height), std::make_pair(32, 64));
        EXPECT_TRUE(set.fallback[0].name.endsWith(".jpg"));
        for (const QString &name : set.files()) {
            SCOPED_TRACE(name.toStdString());
            const VImage out = load(tmp.filePath(name));
            for (const char *field : {"exif-data", "xmp-data", "exif-ifd3-GPSLatitudeRef"})
                EXPECT_EQ(out.get_typeof(field), 0u) << field;
            EXPECT_EQ(out.interpretation(), VIPS_INTERPRETATION_sRGB);
            EXPECT_LE(out.bands(), 4);
        }
        const VImage shown = load(tmp.filePath(set.fallback[0].name));
        EXPECT_EQ(std::make_pair(shown.width(), shown.height()), std::make_pair(32, 64));
        EXPECT_EQ(
            std::make_pair(load(tmp.filePath(set.share)).width(), load(tmp.filePath(set.share)).height()),
            std::make_pair(1200, 630));
        EXPECT_EQ(load(tmp.filePath(set.icon)).width(), 32);
        EXPECT_EQ(load(tmp.filePath(set.touchIcon)).height(), 180);
    }
}

TEST_F(Pictures, SmallDenseSourceIsNeitherEnlargedNorOutweighed)
{
    // A 1-bit PNG of noise: any re-encoding of it is heavier.
    const QString shot = tmp.filePath("small.png");
    (VImage::gaussnoise(200, 100) > 128)
        .pngsave(shot.toUtf8().constData(), VImage::option()->set("bitdepth", 1)->set("compression", 9));
    const qint64 sourceBytes = QFileInfo(shot).size();
    const PictureSet set = MakePictures(shot, tmp.path(), PictureSlotFor("Clarity"), "Small");
    ASSERT_TRUE(set.problem.isEmpty()) << qPrintable(set.problem);
    EXPECT_EQ(std::make_pair(set.width, set.height), std::make_pair(200, 100));
    ASSERT_EQ(set.fallback.size(), 1);
    EXPECT_EQ(set.fallback[0].width, 200);
    EXPECT_EQ(readAll(tmp.filePath(set.fallback[0].name)), readAll(shot)); // the source's own bytes
    for (const PictureFile &f : set.webp + set.fallback)
        EXPECT_LE(QFileInfo(tmp.filePath(f.name)).size(), sourceBytes) << f.name.toStdString();
}

TEST_F(Pictures, MadeOnceAndNeverMoreOpenThanTheSource)
{
    const QString shot = tmp.filePath("shot.jpg");
    VImage::xyz(1500, 900).extract_band(0).cast(VIPS_FORMAT_UCHAR).jpegsave(shot.toUtf8().constData());
    QFile::setPermissions(shot, QFile::ReadOwner | QFile::WriteOwner);
    const PictureSet first = MakePictures(shot, tmp.path(), PictureSlotFor("Midnight"), "Tool");
    // 460, 768 and 920 px, twice each (480 is too near 460), share, icons
    EXPECT_EQ(first.encoded, first.files().size());
    EXPECT_EQ(first.files().size(), 9);
    QHash<QString, QDateTime> made;
    for (const QString &name : first.files()) {
        made[name] = QFileInfo(tmp.filePath(name)).lastModified();
        EXPECT_EQ(QFile::permissions(tmp.filePath(name)) & 0x0077, 0) << name.toStdString();
    }
    const PictureSet again = MakePictures(shot, tmp.path(), PictureSlotFor("Midnight"), "Tool");
    EXPECT_EQ(again.encoded, 0);
    EXPECT_EQ(again.files(), first.files());
    for (const QString &name : again.files())
        EXPECT_EQ(QFileInfo(tmp.filePath(name)).lastModified(), made[name]) << name.toStdString();
    // Another name is another share picture; the sizes stay.
    const PictureSet renamed = MakePictures(shot, tmp.path(), PictureSlotFor("Midnight"), "Other");
    EXPECT_EQ(renamed.encoded, 1);
    EXPECT_NE(renamed.share, first.share);
}

// A picture put into a page by its path beside the page or by a file:// address is made
// for the page; one on the web goes in as typed.
TEST_F(Pictures, InsertedPicturesFromDiskAreMadeForThePage)
{
    const QString shot = tmp.filePath("shot.jpg"), page = tmp.filePath("page.htm");
    VImage::xyz(1200, 600).extract_band(0).cast(VIPS_FORMAT_UCHAR).jpegsave(shot.toUtf8().constData());
    for (const QString &address : {QString("shot.jpg"), QUrl::fromLocalFile(shot).toString()}) {
        const InsertedPicture inserted = PrepareInsertedPicture(address, page);
        EXPECT_TRUE(inserted.problem.isEmpty()) << inserted.problem.toStdString();
        EXPECT_TRUE(inserted.markup.startsWith("<picture>")) << address.toStdString();
        EXPECT_FALSE(inserted.files.isEmpty());
    }
    const InsertedPicture web = PrepareInsertedPicture("https://cdn.example/shot.jpg", page);
    EXPECT_TRUE(web.markup.isEmpty() && web.problem.isEmpty() && web.files.isEmpty());
}

TEST_F(Pictures, BrokenOrHugePicturesStopThePageWithAMessage)
{
    const QByteArray huge(
        "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x4e\x20\0\0\x4e\x20\x08\x02\0\0\0\x6c\x12\xd1\x6e"
        "\0\0\0\0IDAT\x35\xaf\x06\x1e",
        45); // 20000 px square, header only
    const std::pair<QByteArray, const char *> cases[] = {
        {QByteArray("\xFF\xD8\xFF\xE0 not a picture after all", 27), "cannot be read as a picture"},
        {huge, "20000 x 20000 pixels, too large"},
    };
    QDir().mkpath(tmp.filePath("app/templates"));
    writeAll(tmp.filePath("app/templates/T.htm"), "<p><ZOR_PAGE_DATA_SOFTWARENAME></p>");
    for (const auto &[bytes, why] : cases) {
        writeAll(tmp.filePath("bad.jpg"), bytes);
        PageData d;
        d.txtSoftwareName = "Tool";
        EXPECT_FALSE(GenerateTemplateBasedPage(tmp.filePath("app"), "T", tmp.filePath("out.htm"),
                                               tmp.filePath("bad.jpg"), d));
        EXPECT_TRUE(dialogs.lastMessage().contains(why)) << qPrintable(dialogs.lastMessage());
        EXPECT_TRUE(dialogs.lastMessage().endsWith("The page was not generated."));
        EXPECT_FALSE(QFileInfo::exists(tmp.filePath("out.htm")));
    }
}

TEST_F(Pictures, GeneratedPageOffersThePictureAtTheSlotsWidths)
{
    PageData d = testing_support::LoadSampleProduct(testing_support::sourceDir());
    d.txtPageURL = "https://ledgerlark.example/";
    const QString page = tmp.filePath("page.htm");
    ASSERT_TRUE(
        GenerateTemplateBasedPage(testing_support::sourceDir(), "Clarity", page, d.txtProductImage, d));
    const QString html = QString::fromUtf8(readAll(page));
    const QString h = QRegularExpression("picture-944-([0-9a-f]{8})").match(html).captured(1);
    ASSERT_EQ(h.size(), 8);
    const QString webp =
        QString("picture-480-%1.webp 480w, picture-768-%1.webp 768w, picture-944-%1.webp 944w, "
                "picture-1200-%1.webp 1200w")
            .arg(h); // 2x of 944 is wider than the 1200 px source
    const QString sizes = "sizes=\"(max-width: 1000px) 100vw, 944px\"";
    // At 944 px the PNG would outweigh the source: the 1200 px one serves there.
    const QString png =
        QString("src=\"picture-1200-%1.png\" srcset=\"picture-480-%1.png 480w, picture-768-%1.png 768w, "
                "picture-1200-%1.png 1200w\"")
            .arg(h);
    EXPECT_TRUE(html.contains("<picture><source type=\"image/webp\" srcset=\"" + webp + "\" " + sizes +
                              "><img itemprop=\"image\" " + png + " " + sizes +
                              " width=\"944\" height=\"597\" fetchpriority=\"high\" alt=\""))
        << qPrintable(html);
    EXPECT_FALSE(html.contains("loading=\"lazy\""));
    EXPECT_TRUE(html.contains(QRegularExpression(
        "<meta property=\"og:image\" content=\"https://ledgerlark.example/share-[0-9a-f]{8}.jpg\">")));
    EXPECT_TRUE(html.contains("<link rel=\"icon\" href=\"icon-32-" + h + ".png\" sizes=\"32x32\""));
    EXPECT_FALSE(html.contains("Ledgerlark_screenshot")); // the original, with what it carries, stays home
    QStringList listed;
    ASSERT_TRUE(FileList::Read(FileList::PathFor(page), listed));
    for (const QString &f : listed)
        EXPECT_TRUE(QFileInfo(f).isFile()) << f.toStdString();
    EXPECT_EQ(listed.filter(QRegularExpression("/(picture|share|icon)-")).size(), 10);
    // A phone takes the 480 px WebP: all it loads weighs less than the picture did alone.
    const check::Report report = check::CheckPage(page);
    for (const check::Finding &f : report.findings)
        EXPECT_FALSE(f.rule == "img-size" || f.rule == "first-picture-lazy" ||
                     f.rule == "share-image-relative")
            << f.rule.toStdString();
    EXPECT_GT(report.phoneBytes, 0);
    EXPECT_LT(report.phoneBytes,
              QFileInfo(testing_support::sourceDir() + "/sites/Ledgerlark_screenshot.png").size());

    // Without a picture the template's mark is the icon: no favicon request goes unanswered.
    ASSERT_TRUE(GenerateTemplateBasedPage(testing_support::sourceDir(), "Clarity", page, "",
                                          testing_support::MinimalProduct()));
    EXPECT_TRUE(
        readAll(page).contains("<link rel=\"icon\" href=\"Clarity_mark.svg\" type=\"image/svg+xml\">"));
    EXPECT_TRUE(QFileInfo(tmp.filePath("Clarity_mark.svg")).isFile());
}
