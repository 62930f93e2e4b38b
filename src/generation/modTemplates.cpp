#include "generation/modTemplates.h"
#include "generation/ProductFile.h"

#include "generation/AnswerSafety.h"
#include "generation/FileList.h"
#include "generation/FolderLister.h"
#include "generation/PageGuard.h"
#include "generation/Pictures.h"
#include "generation/SearchData.h"
#include "generation/TemplateLanguage.h"
#include "generation/Variants.h"
#include "platform/Dialogs.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <optional>
#include <vector>

namespace generation {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString openingMarker(const QString &blockName)
{
    return QLatin1Char('<') + blockName + QLatin1Char('>');
}
QString closingMarker(const QString &blockName)
{
    return QStringLiteral("</") + blockName + QLatin1Char('>');
}

// folder + "/" + name without doubling the separator (the folder may be "/").
QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

bool sameFile(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

// Copies `source` over `destination` through a temporary file, so a failed copy
// never leaves a truncated destination. Copying a file onto itself is a no-op: the
// usual remove-then-copy would destroy the only copy.
bool copyFileOver(const QString &source, const QString &destination)
{
    if (sameFile(source, destination))
        return true;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    // A copy is never more open than its source: a file kept private stays private.
    out.setPermissions(out.permissions() & in.permissions());
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0)
            return false; // QSaveFile discards its temporary file
        if (n == 0)
            break;
        if (out.write(buffer, n) != n)
            return false;
    }
    return out.commit();
}

// A value as placed in text content, and what it was before shaping; the forms for a
// tag or a script are made only where the template asks for them.
struct Value {
    QString text;
    QString raw;
    bool lineBreaks = false;

    // "<BR>" cannot break a line inside an attribute or a JSON string: there a line
    // end becomes a blank, or stays a line end.
    QString attribute() const
    {
        return EscapeAttribute(lineBreaks ? ReplaceAll(raw, kCrLf, QStringLiteral(" ")) : text);
    }
    QString script() const { return EscapeJsonString(lineBreaks ? raw : text); }
};

// As typed, or after a shaping rule that makes markup (address, order link, image name).
Value shaped(const QString &value)
{
    return {value, value, false};
}

Value withLineBreaks(const QString &raw)
{
    return {LineBreakRule(raw), raw, true};
}

// The context forms a text holds, found once: a search of a whole page per step and
// form would cost a pass over it each time.
struct Forms {
    QSet<QString> inTags; // placeholders, e.g. "<ZOR_PAGE_DATA_KEYWORD>"
    QSet<QString> inScripts;
    bool conditional = false;
};

Forms formsIn(const QString &text)
{
    Forms forms;
    const QChar tag = PlaceholderForm(QStringLiteral("<x>"), PlaceholderContext::Attribute).at(0);
    const QChar script = PlaceholderForm(QStringLiteral("<x>"), PlaceholderContext::Script).at(0);
    const QChar end = PlaceholderForm(QStringLiteral("<x>"), PlaceholderContext::Script).back();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != tag && c != script)
            continue;
        const qsizetype close = text.indexOf(end, i + 1);
        if (close < 0)
            break;
        const QString placeholder = QLatin1Char('<') + text.mid(i + 1, close - i - 1) + QLatin1Char('>');
        (c == tag ? forms.inTags : forms.inScripts).insert(placeholder);
        i = close;
    }
    forms.conditional = HasConditionalMarkers(text);
    return forms;
}

// Replaces every occurrence of each search text in one pass (the texts never overlap:
// the forms differ in their first character).
QString replaceEach(const QString &text, const std::vector<std::pair<QString, QString>> &pairs)
{
    if (pairs.size() == 1)
        return ReplaceAll(text, pairs[0].first, pairs[0].second);
    std::vector<qsizetype> next;
    for (const auto &pair : pairs)
        next.push_back(text.indexOf(pair.first));
    QString out;
    qsizetype from = 0;
    for (;;) {
        int which = -1;
        for (int i = 0; i < int(pairs.size()); ++i)
            if (next[i] >= 0 && (which < 0 || next[i] < next[which]))
                which = i;
        if (which < 0)
            break;
        if (out.isNull())
            out.reserve(text.size() + 64);
        out.append(QStringView(text).mid(from, next[which] - from));
        out.append(pairs[which].second);
        from = next[which] + pairs[which].first.size();
        for (int i = 0; i < int(pairs.size()); ++i)
            if (next[i] >= 0 && next[i] < from)
                next[i] = text.indexOf(pairs[i].first, from);
    }
    if (from == 0)
        return text; // nothing found: shares the original
    out.append(QStringView(text).mid(from));
    return out;
}

QString place(const QString &text, const QString &placeholder, const Value &value, const Forms &forms)
{
    std::vector<std::pair<QString, QString>> pairs{{placeholder, value.text}};
    if (forms.inTags.contains(placeholder))
        pairs.emplace_back(PlaceholderForm(placeholder, PlaceholderContext::Attribute), value.attribute());
    if (forms.inScripts.contains(placeholder))
        pairs.emplace_back(PlaceholderForm(placeholder, PlaceholderContext::Script), value.script());
    return replaceEach(text, pairs);
}

// Steps of one block: each item placeholder with the value taken from a row.
struct Item {
    QString placeholder;
    Value value;
};

QString fillCopy(const QString &body, const Forms &forms, const std::initializer_list<Item> &items)
{
    QString copy = body;
    // Conditional blocks on the row's own items are decided in each copy.
    if (forms.conditional)
        copy = ResolveConditionalBlocks(body, [&items](const QString &name) -> std::optional<bool> {
            for (const Item &item : items) {
                if (QStringView(item.placeholder).mid(5, item.placeholder.size() - 6) == name)
                    return !item.value.text.trimmed().isEmpty();
            }
            return std::nullopt;
        });
    for (const Item &item : items)
        copy = place(copy, item.placeholder, item.value, forms);
    return copy;
}

// Number of testimonial rows that go to the first block; the rest go to the second.
int firstTestimonialRows(int n)
{
    return n == 0 ? 0 : (n <= 2 ? 1 : 2);
}

QString testimonialBlock(const QString &body, const QVector<ListRow> &rows, int first, int last,
                         const QString &suffix)
{
    const QString info = QStringLiteral("<ZOR_PAGE_DATA_TESTIMONIAL_INFO_") + suffix + QLatin1Char('>');
    const QString name = QStringLiteral("<ZOR_PAGE_DATA_TESTIMONIAL_NAME_") + suffix + QLatin1Char('>');
    const QString contact = QStringLiteral("<ZOR_PAGE_DATA_TESTIMONIAL_CONTACT_") + suffix + QLatin1Char('>');
    QString accumulator;
    if (body.isEmpty())
        return accumulator; // an absent block: nothing will be put back
    const Forms forms = formsIn(body);
    for (int i = first; i < last; ++i) {
        const ListRow &row = rows[i];
        accumulator += fillCopy(body, forms,
                                {{info, withLineBreaks(row.subItem(2))},
                                 {name, shaped(row.text)},
                                 {contact, shaped(row.subItem(1))}});
    }
    return accumulator;
}

QString twoColumnBlock(const QString &body, const QVector<ListRow> &rows, const QString &first,
                       const QString &second)
{
    QString accumulator;
    if (body.isEmpty())
        return accumulator;
    const Forms forms = formsIn(body);
    for (const ListRow &row : rows)
        accumulator += fillCopy(
            body, forms, {{first, withLineBreaks(row.text)}, {second, withLineBreaks(row.subItem(1))}});
    return accumulator;
}

// Writes a file Quillmark owns beside the page (sitemap.xml, robots.txt); a file of that
// name that the site brought itself is left alone. True when the file is Quillmark's.
bool writeOwnFile(const QString &path, const QByteArray &bytes)
{
    QFile existing(path);
    if (existing.exists() && (!existing.open(QIODevice::ReadOnly) || !WrittenByQuillmark(existing.read(200))))
        return false;
    existing.close();
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

// --- Text files ---

QString ReadTextFile(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll());
}

bool WriteTextFile(const QString &text, const QString &path)
{
    if (path.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text.toLocal8Bit();
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

QString GetFileName(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    return info.isFile() ? info.fileName() : QString();
}

QString GetParentFolder(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    return info.isFile() ? info.absolutePath() : QString();
}

// --- Engine ---

QString ReplaceAll(const QString &text, const QString &search, const QString &replacement)
{
    if (search.isEmpty())
        return text;
    qsizetype at = text.indexOf(search);
    if (at < 0)
        return text; // shares the original, no copy
    // One pass into a fresh string: cost is linear in the text and the output.
    QString out;
    out.reserve(text.size() + qMax<qsizetype>(0, replacement.size() - search.size()) * 4);
    qsizetype from = 0;
    while (at >= 0) {
        out.append(QStringView(text).mid(from, at - from));
        out.append(replacement);
        from = at + search.size();
        at = text.indexOf(search, from);
    }
    out.append(QStringView(text).mid(from));
    return out;
}

QString GetBlock(const QString &blockName, const QString &text)
{
    const QString opening = openingMarker(blockName);
    const qsizetype open = text.indexOf(opening, 0, Qt::CaseInsensitive);
    if (open < 0)
        return {};
    const qsizetype bodyStart = open + opening.size();
    const qsizetype close = text.indexOf(closingMarker(blockName), 0, Qt::CaseInsensitive);
    // A closing marker before the body would give a negative length: no block.
    if (close < bodyStart)
        return {};
    return text.mid(bodyStart, close - bodyStart);
}

QString LineBreakRule(const QString &text)
{
    return ReplaceAll(text, kCrLf, QStringLiteral("<BR>"));
}

namespace {

// An "@" after the first character, with no scheme or path before it: a web address
// such as https://social.example/@maker is not one.
bool isMailAddress(const QString &text)
{
    const qsizetype at = text.indexOf(QLatin1Char('@'));
    if (at <= 0)
        return false;
    const QStringView user = QStringView(text).left(at);
    return !user.contains(QLatin1Char(':')) && !user.contains(QLatin1Char('/'));
}

} // namespace

QString AddressRule(const QString &text)
{
    return isMailAddress(text) ? QStringLiteral("MAILTO:") + text : text;
}

QString OrderLinkRule(const QString &text, const QString &words)
{
    const QString tail = QStringLiteral("'>") + words + QStringLiteral("</A>");
    // Secure addresses are today's usual order links: they get the link as plain http does.
    const QString head = text.left(8).toUpper();
    if (head.startsWith(QLatin1String("HTTP://")) || head == QLatin1String("HTTPS://"))
        return QStringLiteral("<a href='") + EscapeAttribute(text) + tail;
    if (isMailAddress(text))
        return QStringLiteral("<a href='mailto:") + EscapeAttribute(text) + tail;
    return text;
}

QString ImageNameRule(const QString &path)
{
    return GetFileName(path);
}

QString TrimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

QString FillTemplate(const QString &templatePath, const PageData &data)
{
    return FillTemplateText(ReadTextFile(templatePath), data);
}

QString FillTemplateText(const QString &templateText, const PageData &d)
{
    if (templateText.isEmpty())
        return templateText;
    // A link that would run script is written as if it were not given.
    if (!UnsafeLinkAnswers(d).isEmpty())
        return FillTemplateText(templateText, WithoutUnsafeLinks(d));
    // Conditional blocks go first, so that the other blocks are cut from what stays;
    // then every placeholder inside a tag or a script takes the form that gets its
    // value escaped for that place.
    const QString resolved =
        ResolveConditionalBlocks(templateText, [&d](const QString &name) { return IsSetInRecord(name, d); });
    QString page = MarkPlaceholderContexts(resolved);
    // With two versions, the texts version B words differently are filled with both.
    VariantSites ab(TriesVariantB(d));
    const PageData b = ab.on() ? VariantBAnswers(d) : PageData();
    if (ab.on())
        page = MarkVariantPlaceholders(page, {QStringLiteral("ZOR_PAGE_DATA_ONELINER"),
                                              QStringLiteral("ZOR_PAGE_DATA_NEWPRICE"),
                                              QStringLiteral("ZOR_PAGE_DATA_ORDER_URL")});
    auto replaceBoth = [&](const char *name, const QString &a, const QString &bText) {
        if (ab.on())
            page = ReplaceAll(page, VariantToken(QLatin1String(name)), ab.site(a, bText));
    };

    // All bodies come from the template as read, before any replacement.
    const QString bodyTestimonial1 = GetBlock(QStringLiteral("ZOR_PAGE_DATA_TESTIMONIAL_1"), page);
    const QString bodyTestimonial2 = GetBlock(QStringLiteral("ZOR_PAGE_DATA_TESTIMONIAL_2"), page);
    const QString bodyImage = GetBlock(QStringLiteral("ZOR_PAGE_DATA_IMAGE"), page);
    const QString bodyFAQ = GetBlock(QStringLiteral("ZOR_PAGE_DATA_FAQ"), page);
    const QString bodyFeatures = GetBlock(QStringLiteral("ZOR_PAGE_DATA_FEATURES"), page);
    const QString bodyTry = GetBlock(QStringLiteral("ZOR_PAGE_DATA_TRY"), page);
    // The two reserved blocks are recognised but left as they are.
    const QString bodyNotConvinced = GetBlock(QStringLiteral("ZOR_PAGE_DATA_NOT_CONVINCED"), page);

    const Forms forms = formsIn(page);
    auto replace = [&](const char *placeholder, const Value &value) {
        page = place(page, QLatin1String(placeholder), value, forms);
    };
    auto putBack = [&page](const QString &body, const QString &filled) {
        page = ReplaceAll(page, body, filled);
    };

    replace("<ZOR_PAGE_DATA_KEYWORD>", shaped(d.txtKeywords));
    replace("<ZOR_PAGE_DATA_INFO>", withLineBreaks(d.txtExplainIn30Secs));
    replace("<ZOR_PAGE_DATA_SOFTWARENAME>", shaped(d.txtSoftwareName));
    replace("<ZOR_PAGE_DATA_ONELINER>", shaped(d.txtOneLiner));
    replaceBoth("ZOR_PAGE_DATA_ONELINER", d.txtOneLiner, b.txtOneLiner);
    replace("<ZOR_PAGE_PROBLEM>", withLineBreaks(d.txtProblem));
    replace("<ZOR_PAGE_DATA_SOLUTION>", withLineBreaks(d.txtProlemSolution));
    replace("<ZOR_PAGE_DATA_AFFILIATEURL>", shaped(AddressRule(d.txtAffiliateURL)));
    replace("<ZOR_PAGE_DATA_SUPPORTURL>", shaped(AddressRule(d.txtSupportURL)));

    const int n = d.lvwTestimonial.size();
    const int k = firstTestimonialRows(n);
    putBack(bodyTestimonial1,
            testimonialBlock(bodyTestimonial1, d.lvwTestimonial, 0, k, QStringLiteral("1")));

    replace("<ZOR_PAGE_DATA_BENEFITS>", shaped(d.txtBenefits));
    replace("<ZOR_PAGE_DATA_WHYBETTER>", shaped(d.txtComparison));

    putBack(bodyImage,
            d.txtProductImage.isEmpty()
                ? QString()
                : fillCopy(bodyImage, formsIn(bodyImage),
                           {{QStringLiteral("<ZOR_PAGE_DATA_IMAGE_SOURCE>"),
                             shaped(ImageNameRule(d.txtProductImage))},
                            {QStringLiteral("<ZOR_PAGE_DATA_IMAGE_CAPTION>"), shaped(d.txtProductCaption)}}));

    putBack(bodyFAQ, twoColumnBlock(bodyFAQ, d.lvwFAQ, QStringLiteral("<ZOR_PAGE_DATA_FAQ_QUESTION>"),
                                    QStringLiteral("<ZOR_PAGE_DATA_FAQ_ANSWER>")));
    putBack(bodyFeatures,
            twoColumnBlock(bodyFeatures, d.lvwFeatures, QStringLiteral("<ZOR_PAGE_DATA_FEATURES_NAME>"),
                           QStringLiteral("<ZOR_PAGE_DATA_FEATURES_DETAILS>")));
    putBack(bodyTestimonial2,
            testimonialBlock(bodyTestimonial2, d.lvwTestimonial, k, n, QStringLiteral("2")));

    replace("<ZOR_PAGE_DATA_MRPRICE>", shaped(d.txtMRP));
    replace("<ZOR_PAGE_DATA_ORDER_END_DATE>", shaped(d.txtOrderWithinHours));
    replace("<ZOR_PAGE_DATA_NEWPRICE>", shaped(d.txtSpecialPrice));
    replaceBoth("ZOR_PAGE_DATA_NEWPRICE", d.txtSpecialPrice, b.txtSpecialPrice);
    replace("<ZOR_PAGE_DATA_ORDER_URL>",
            shaped(OrderLinkRule(d.txtPurchaseURL, OrderLinkWords(d.txtButtonText))));
    // Only the link's words differ between the versions; typed button markup has none to change.
    if (ab.on()) {
        const bool madeLink = OrderLinkRule(d.txtPurchaseURL) != d.txtPurchaseURL;
        const QString words = OrderLinkWords(d.txtButtonText);
        page = ReplaceAll(page, VariantToken(QStringLiteral("ZOR_PAGE_DATA_ORDER_URL")),
                          OrderLinkRule(d.txtPurchaseURL,
                                        madeLink ? ab.site(words, OrderLinkWords(b.txtButtonText)) : words));
    }

    putBack(bodyTry,
            TrimBlanks(d.txtDownloadURL).isEmpty()
                ? QString()
                : fillCopy(bodyTry, formsIn(bodyTry),
                           {{QStringLiteral("<ZOR_PAGE_DATA_TRY_MOTIVATION>"), shaped(d.txtDownloadMessage)},
                            {QStringLiteral("<ZOR_PAGE_DATA_TRY_REQUIREMENTS_DATA>"),
                             shaped(d.txtDownloadRequirements)},
                            {QStringLiteral("<ZOR_PAGE_DATA_TRY_PROBLEMS_DATA>"), shaped(d.txtDownloadHelp)},
                            {QStringLiteral("<ZOR_PAGE_DATA_TRYURL>"), shaped(d.txtDownloadURL)}}));
    putBack(bodyNotConvinced, TrimBlanks(d.txtOrderLaterIncentive).isEmpty()
                                  ? QString()
                                  : fillCopy(bodyNotConvinced, formsIn(bodyNotConvinced),
                                             {{QStringLiteral("<ZOR_PAGE_DATA_NOT_CONVINCED_DATA>"),
                                               shaped(d.txtOrderLaterIncentive)}}));

    replace("<ZOR_PAGE_DATA_COPYRIGHT>", shaped(d.txtCopyRightInfo));
    // Search and share data, last: the image block is put back by then, with its picture's
    // address still to fill. Without a page address the picture stays a name beside the page.
    const QString address = PageAddress(d);
    const QString imageName = ImageNameRule(d.txtProductImage);
    replace("<ZOR_PAGE_DATA_PAGE_URL>", shaped(address));
    replace("<ZOR_PAGE_DATA_IMAGE_URL>",
            shaped(address.isEmpty() ? imageName : AddressBeside(address, imageName)));
    replace("<ZOR_PAGE_DATA_STRUCTURED_DATA>", shaped(StructuredData(d)));

    // Conditions on row items outside their block (or in a block left unexpanded) have
    // no row to ask: they count as blank, so no marker stays behind.
    if (forms.conditional)
        page = ResolveConditionalBlocks(page, [](const QString &) { return false; });
    if (ab.on())
        page = AddVariantMarkup(page, ab);
    if (const QString counting = CountingScript(d); !counting.isEmpty()) {
        const qsizetype end = page.lastIndexOf(QLatin1String("</body>"), -1, Qt::CaseInsensitive);
        page.insert(end < 0 ? page.size() : end, counting);
    }
    return RestorePlaceholderForms(page);
}

// --- Template's own files ---

bool LikeMatch(const QString &name, const QString &pattern)
{
    // Iterative wildcard match with one backtrack point for the last "*": linear
    // in practice and never recursive, whatever the pattern.
    qsizetype n = 0, p = 0;
    qsizetype starP = -1, starN = 0;

    // Matches one pattern element at p against name[n]; `width` returns the pattern
    // element's length. A "[" without its "]" is an ordinary character.
    auto matchOne = [&](qsizetype pi, QChar c, qsizetype &width) -> bool {
        const QChar pc = pattern.at(pi);
        width = 1;
        if (pc == QLatin1Char('?'))
            return true;
        if (pc == QLatin1Char('#'))
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (pc == QLatin1Char('[')) {
            const qsizetype close = pattern.indexOf(QLatin1Char(']'), pi + 1);
            if (close < 0)
                return c == pc;
            width = close - pi + 1;
            qsizetype i = pi + 1;
            bool negate = false;
            if (i < close && pattern.at(i) == QLatin1Char('!')) {
                negate = true;
                ++i;
            }
            bool hit = false;
            for (; i < close; ++i) {
                const QChar lo = pattern.at(i);
                if (i + 2 < close && pattern.at(i + 1) == QLatin1Char('-')) {
                    const QChar hi = pattern.at(i + 2);
                    hit = hit || (c >= lo && c <= hi);
                    i += 2;
                } else {
                    hit = hit || c == lo;
                }
            }
            return hit != negate;
        }
        return c == pc;
    };
    // "[]" stands for nothing at all: skip it wherever it appears.
    auto skipEmptyClasses = [&]() {
        while (p + 1 < pattern.size() && pattern.at(p) == QLatin1Char('[') &&
               pattern.at(p + 1) == QLatin1Char(']'))
            p += 2;
    };

    for (;;) {
        skipEmptyClasses();
        if (p < pattern.size() && pattern.at(p) == QLatin1Char('*')) {
            starP = ++p;
            starN = n;
            continue;
        }
        if (n == name.size()) {
            if (p == pattern.size())
                return true;
        } else if (p < pattern.size()) {
            qsizetype width = 1;
            if (matchOne(p, name.at(n), width)) {
                p += width;
                ++n;
                continue;
            }
        }
        if (starP < 0 || starN >= name.size())
            return false;
        p = starP;
        n = ++starN;
    }
}

// --- Page generation ---

bool GenerateTemplateBasedPage(const QString &appFolder, const QString &templateName,
                               const QString &destinationPath, const QString &productImage,
                               const PageData &data)
{
    return GenerateTemplateBasedPage(QStringList{joinPath(appFolder, QStringLiteral("templates"))}, appFolder,
                                     templateName, destinationPath, productImage, data);
}

bool GenerateTemplateBasedPage(const QStringList &templateFolders, const QString &dataFolder,
                               const QString &templateName, const QString &destinationPath,
                               const QString &productImage, const PageData &data)
{
    if (templateName.isEmpty()) {
        platform::msgBox(QStringLiteral("Please select a template"));
        return false;
    }
    if (destinationPath.isEmpty()) {
        // Without a page path the list would land as ".files" in the working folder.
        platform::msgBox(QStringLiteral("Please choose where to save the page"));
        return false;
    }
    // Refusals come before anything is written.
    if (const QStringList unsafe = UnsafeLinkAnswers(data); !unsafe.isEmpty()) {
        platform::msgBox(UnsafeLinkMessage(unsafe.first(), data) +
                         QStringLiteral(" The page was not generated."));
        return false;
    }
    // A relative image path (as the shipped sample product has) names a file below the
    // data folder.
    const QString image = ResolveProductImage(productImage, {dataFolder});
    std::optional<PageData> resolved;
    if (image != productImage && data.txtProductImage == productImage) {
        resolved = data;
        resolved->txtProductImage = image;
    }
    // Whatever is copied beside the page gets published with it.
    if (const QString problem = ProductPictureProblem(image, dataFolder); !problem.isEmpty()) {
        platform::msgBox(problem + QStringLiteral(" The page was not generated."));
        return false;
    }
    // The first folder that holds the template wins, and the template's own files come
    // from that folder. A name typed in another case still finds its template, as on
    // file systems that ignore case; a template that is not there must not overwrite
    // the page with nothing.
    QString templateFile;
    QString templatesFolder;
    for (const QString &folder : templateFolders) {
        const QString exact = joinPath(folder, templateName + QStringLiteral(".htm"));
        if (QFileInfo(exact).isFile()) {
            templateFile = exact;
        } else {
            for (const QString &fileName : ListFolderFiles(folder)) {
                if (fileName.compare(templateName + QStringLiteral(".htm"), Qt::CaseInsensitive) == 0) {
                    templateFile = joinPath(folder, fileName);
                    break;
                }
            }
        }
        if (!templateFile.isEmpty()) {
            templatesFolder = folder;
            break;
        }
    }
    if (templateFile.isEmpty()) {
        platform::msgBox(QStringLiteral("Unable to find the template ") + templateName);
        return false;
    }

    // The list is opened before the page is written: when it cannot be created,
    // nothing at all is written.
    const QString listPath = FileList::PathFor(destinationPath);
    QSaveFile list(listPath);
    if (!list.open(QIODevice::WriteOnly)) {
        platform::msgBox(QStringLiteral("Unable to create the dependency list ") + listPath +
                         QStringLiteral(". Please check that its folder exists and can be written to."));
        return false;
    }

    // The picture's files are made first: the page names them. A picture that cannot be
    // read stops the page, as a picture that is not one does.
    const PictureSlot slot = PictureSlotFor(templateName);
    const QString folder = QFileInfo(destinationPath).absolutePath();
    PictureSet pictures;
    if (!image.isEmpty() && QFileInfo(image).isFile())
        pictures = MakePictures(image, folder, slot, data.txtSoftwareName);
    if (!pictures.problem.isEmpty()) {
        list.cancelWriting();
        platform::msgBox(pictures.problem + QStringLiteral(" The page was not generated."));
        return false;
    }
    if (!pictures.fallback.isEmpty()) {
        if (!resolved)
            resolved = data;
        resolved->txtProductImage = joinPath(folder, pictures.fallback.first().name);
        for (const PictureFile &f : pictures.fallback)
            if (f.width <= pictures.width)
                resolved->txtProductImage = joinPath(folder, f.name);
    }
    const PageData &answers = resolved ? *resolved : data;
    const QString pageText = WithPictureMarkup(FillTemplate(templateFile, answers), pictures, slot,
                                               GetFileName(answers.txtProductImage), PageAddress(answers));

    // A page that cannot be written is a failure, not a generated page: the list is
    // dropped uncommitted and nothing is copied.
    // The sitemap's last change is the page's: a page regenerated unchanged keeps its date.
    const QString address = PageAddress(answers);
    QDateTime lastChange = QDateTime::currentDateTimeUtc();
    if (!address.isEmpty()) {
        QFile old(destinationPath);
        const QByteArray bytes = pageText.toLocal8Bit();
        if (old.open(QIODevice::ReadOnly) && old.size() == bytes.size() && old.readAll() == bytes)
            lastChange = QFileInfo(destinationPath).lastModified();
    }
    // The files copied beside the page must not land on the page itself.
    const QString pageFolder = QFileInfo(destinationPath).absolutePath();
    const auto isThePage = [&](const QString &name) {
        return QDir::cleanPath(joinPath(pageFolder, name)) == QDir::cleanPath(destinationPath);
    };
    QStringList templateFiles;
    if (!pageFolder.isEmpty()) {
        const QString pattern = templateName.toUpper() + QStringLiteral("_*");
        for (const QString &fileName : ListFolderFiles(templatesFolder))
            if (LikeMatch(fileName.toUpper(), pattern))
                templateFiles << fileName;
    }
    const bool copiesImage = !image.isEmpty() && !pageFolder.isEmpty() && pictures.fallback.isEmpty() &&
                             !GetFileName(image).isEmpty();
    for (const QString &name :
         templateFiles + (copiesImage ? QStringList{GetFileName(image)} : QStringList())) {
        if (isThePage(name)) {
            list.cancelWriting();
            platform::msgBox(
                QStringLiteral("The page cannot be called ") + name +
                QStringLiteral(": a file of that name is copied beside it. The page was not generated."));
            return false;
        }
    }
    if (!WriteTextFile(pageText, destinationPath)) {
        list.cancelWriting();
        platform::msgBox(QStringLiteral("Unable to write the page ") + destinationPath +
                         QStringLiteral(". Please check that it can be written to."));
        return false;
    }
    RememberPageWritten(destinationPath);
    QStringList listed{destinationPath};

    for (const QString &name : pictures.files())
        listed << joinPath(folder, name);
    // The source itself goes out only when it was not prepared for the page.
    if (copiesImage) {
        const QString target = joinPath(pageFolder, GetFileName(image));
        copyFileOver(image, target); // a failed copy is still listed
        listed << target;
    }
    for (const QString &fileName : std::as_const(templateFiles)) {
        const QString target = joinPath(pageFolder, fileName);
        copyFileOver(joinPath(templatesFolder, fileName), target);
        listed << target;
    }

    if (!address.isEmpty() && !pageFolder.isEmpty()) {
        const QString sitemap = joinPath(pageFolder, QStringLiteral("sitemap.xml"));
        if (writeOwnFile(sitemap, SitemapXml(address, lastChange)))
            listed << sitemap;
        const QString robots = joinPath(pageFolder, QStringLiteral("robots.txt"));
        if (writeOwnFile(robots, RobotsTxt(AddressBeside(address, QStringLiteral("sitemap.xml")))))
            listed << robots;
    }

    if (answers.chkHtaccess.trimmed() == QLatin1String("1") && !pageFolder.isEmpty()) {
        const QString htaccess = joinPath(pageFolder, QStringLiteral(".htaccess"));
        if (writeOwnFile(htaccess, Htaccess()))
            listed << htaccess;
    }

    const QByteArray bytes = FileList::Compose(destinationPath, listed);
    if (list.write(bytes) != bytes.size() || !list.commit()) {
        platform::msgBox(QStringLiteral("Unable to write the dependency list ") + listPath);
        return false;
    }
    return true;
}

} // namespace generation
