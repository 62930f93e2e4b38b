#pragma once
// The product picture as a page sends it: WebP and the source's own format at the
// widths the template's slot needs, stripped of camera metadata, upright and in sRGB,
// plus a link-preview picture and favicons. Files are named by a hash of what made
// them, so a picture that did not change is not encoded again; the hash ends the name
// (picture-944-1a2b3c4d.webp), as the page's .htaccess rule for year-long caching asks.

#include <QString>
#include <QStringList>
#include <QVector>

namespace generation {

// How a template shows the product picture: the widest the slot gets in CSS pixels,
// and the colours of the link-preview picture.
struct PictureSlot {
    int width = 1000;
    int fullBelow = 1000;          // the viewport width under which the picture spans the screen
    quint32 background = 0xffffff; // 0xRRGGBB
    quint32 text = 0x14171f;
    QString mark;          // the template's own mark, the favicon of a page without picture
    bool pageIcons = true; // also the link-preview picture and the favicons
};
PictureSlot PictureSlotFor(const QString &templateName);

struct PictureFile {
    QString name; // beside the page
    int width = 0;
};

struct PictureSet {
    QString problem; // why the picture cannot be used; the rest is then empty
    int width = 0;   // of the picture shown at the slot's width (1x)
    int height = 0;
    QVector<PictureFile> webp;     // narrow to wide
    QVector<PictureFile> fallback; // in the source's format, narrow to wide
    QString share;                 // 1200x630 link preview
    QString icon;                  // 32x32 PNG
    QString touchIcon;             // 180x180 PNG
    int encoded = 0;               // files written this time (the rest were there)

    QStringList files() const;
};

// Why the picture at `path`, of a kind that is prepared for the page (PNG, JPEG, WebP),
// cannot be: it does not read as one, or it is over 100 megapixels. "" otherwise, and
// for the kinds that go as they are. Reads the header only.
QString PictureReadProblem(const QString &path);

// Makes the files for the picture at `source` in `folder`. A picture it cannot read
// (broken, not a raster format, or absurdly large) gives a set with only `problem`.
// SVG, GIF, BMP, ICO and AVIF pictures are not converted: the set is empty and the
// caller keeps the file as it is.
PictureSet MakePictures(const QString &source, const QString &folder, const PictureSlot &slot,
                        const QString &productName);

// The page with its product picture's <img> (the one with itemprop="image" and
// src="`shownName`") turned into a <picture> of the set, the link-preview
// addresses pointing at the share picture and the favicon lines at the icons.
// `pageAddress` is the page's web address, or "" when none is known.
QString WithPictureMarkup(const QString &page, const PictureSet &set, const PictureSlot &slot,
                          const QString &shownName, const QString &pageAddress);

// A picture inserted in the editor at `address` (a path relative to the page's
// folder, an absolute path or a file:// URL), made for the page saved at `pagePath`
// as the product picture is: its files beside the page, added to the page's .files
// list when it has one.
struct InsertedPicture {
    QString problem;   // the picture cannot be read: nothing is inserted
    QString markup;    // the <picture> to insert; "" (and no problem): insert the address as typed
    QStringList files; // made beside the page, as full paths
};
InsertedPicture PrepareInsertedPicture(const QString &address, const QString &pagePath);

} // namespace generation
