// Every shipped template, filled with the sample, the minimal and the one-row product, in
// WebEngine at desktop, tablet and phone width (one load per page): cards and quotes stand
// apart, grids keep their columns on a desktop, nothing is wider than the window, and
// axe-core (desktop and phone) finds no serious or critical violation. Set
// QUILLMARK_TEMPLATE_PICTURES to a folder to keep a picture of each page and width.
// And hostile answers, hovered, focused and clicked all over, run no script.
#include "SampleProducts.h"
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "generation/AnswerSafety.h"
#include "generation/Fields.h"
#include "generation/modTemplates.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

// Runs a script in the page and waits for its result.
QVariant evaluate(QWebEnginePage &page, const QString &script)
{
    // Shared with the callback: an answer after the wait must not write to this frame.
    const auto result = std::make_shared<std::optional<QVariant>>();
    page.runJavaScript(script, [result](const QVariant &value) { *result = value; });
    (void)testing_support::waitFor([&] { return result->has_value(); }, 20000);
    return result->value_or(QVariant());
}

// axe.run answers with a promise; the page keeps the answer for polling.
QJsonArray seriousViolations(QWebEnginePage &page)
{
    evaluate(page, "window.__axe = undefined; axe.run(document, {resultTypes: ['violations']}).then("
                   "  r => { window.__axe = JSON.stringify(r.violations.filter("
                   "             v => v.impact == 'serious' || v.impact == 'critical')); },"
                   "  e => { window.__axe = JSON.stringify([{id: 'axe-error', help: String(e)}]); });");
    QString answer;
    (void)testing_support::waitFor(
        [&] { return !(answer = evaluate(page, "window.__axe || ''").toString()).isEmpty(); }, 60000);
    return answer.isEmpty() ? QJsonArray{QJsonObject{{"id", "no-answer"}}}
                            : QJsonDocument::fromJson(answer.toUtf8()).array();
}

// Loads the file and waits until it is shown.
void load(QWebEngineView &view, const QString &file)
{
    bool loaded = false;
    QObject::connect(
        view.page(), &QWebEnginePage::loadFinished, &view, [&] { loaded = true; }, Qt::SingleShotConnection);
    view.load(QUrl::fromLocalFile(file));
    ASSERT_TRUE(testing_support::waitFor([&] { return loaded; }, 20000)) << file.toStdString();
}

// Where each template puts its repeated items and its top bar. Cards, quotes and the
// bar's links stand apart from one another; rows may touch but not overlap; cards of a
// grid stand in two columns or more on a desktop when there are two or more of them.
struct Layout {
    const char *name;
    QStringList grids, cards, rows;
};
// clang-format off
const Layout kLayouts[] = {
    {"Clarity", {".feature", ".pull", ".voice"}, {".bar .logo, .menu a"}, {".qa-item"}},
    {"Ember", {".cell", ".shout-quote", ".review"}, {".bar-in > *"}, {".ask"}},
    {"Handbook", {".cite-small"}, {".cite:not(.cite-small)", ".top-in > *"}, {".ref-row", ".faq-item"}},
    {"Letterpress", {".note"}, {".witness", ".masthead-in > *"}, {".inventory > li", ".qa"}},
    {"Marigold", {".tile", ".bubble", ".note-card", ".faq"}, {".head-in > *"}, {}},
    {"Midnight", {".feature", ".quote"}, {".topbar .brand, .nav a"}, {".faq details"}},
};
// clang-format on

struct Box {
    QString selector;
    double left, top, right, bottom;
    double spill; // how far the content runs out of the box sideways
};

// Boxes of every element the selectors match (hidden ones left out), in page coordinates.
QVector<Box> boxes(QWebEnginePage &page, const QStringList &selectors)
{
    const QString script =
        QStringLiteral("JSON.stringify(%1.map(s => [s, Array.from(document.querySelectorAll(s), e => {"
                       "  const r = e.getBoundingClientRect();"
                       "  return [r.left + scrollX, r.top + scrollY, r.right + scrollX, r.bottom + scrollY, "
                       "r.width * r.height, e.scrollWidth - e.clientWidth];"
                       "}).filter(b => b[4] > 0)]))");
    QVector<Box> found;
    const QJsonDocument list = QJsonDocument::fromVariant(QVariant(selectors));
    const QString answer =
        evaluate(page, script.arg(QString::fromUtf8(list.toJson(QJsonDocument::Compact)))).toString();
    for (const QJsonValue &group : QJsonDocument::fromJson(answer.toUtf8()).array())
        for (const QJsonValue &b : group[1].toArray())
            found.append({group[0].toString(), b[0].toDouble(), b[1].toDouble(), b[2].toDouble(),
                          b[3].toDouble(), b[5].toDouble()});
    return found;
}

std::string describe(const Box &b)
{
    return QString::asprintf("%s [%g,%g - %g,%g]", qPrintable(b.selector), b.left, b.top, b.right, b.bottom)
        .toStdString();
}

void expectLaidOut(QWebEnginePage &page, const Layout &layout, int width)
{
    EXPECT_LE(evaluate(page, "document.scrollingElement.scrollWidth").toInt(), width)
        << "wider than the window";
    const QVector<Box> all = boxes(page, layout.grids + layout.cards + layout.rows);
    const double slack = 0.5;
    for (int i = 0; i < all.size(); ++i) {
        const Box &a = all[i];
        EXPECT_TRUE(a.left >= -slack && a.right <= width + slack) << "beyond the window: " << describe(a);
        EXPECT_LE(a.spill, 1) << "content wider than its box: " << describe(a);
        for (int j = i + 1; j < all.size(); ++j) {
            const Box &b = all[j];
            // Distance between the two boxes along each axis; negative where they overlap.
            const double apartX = std::max(b.left - a.right, a.left - b.right);
            const double apartY = std::max(b.top - a.bottom, a.top - b.bottom);
            const bool mayTouch = a.selector != b.selector || layout.rows.contains(a.selector);
            EXPECT_TRUE(std::max(apartX, apartY) >= (mayTouch ? -slack : 1.0))
                << (mayTouch ? "overlap: " : "touch: ") << describe(a) << " and " << describe(b);
        }
    }
    if (width < 1280)
        return;
    for (const QString &grid : layout.grids) {
        QSet<int> columns;
        int count = 0;
        for (const Box &b : all)
            if (b.selector == grid) {
                columns.insert(qRound(b.left));
                ++count;
            }
        EXPECT_TRUE(count < 2 || columns.size() >= 2)
            << grid.toStdString() << ": " << count << " cards in one column";
    }
}

// Keeps the page where it is and remembers where a link would have gone.
class StayingPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;
    QList<QUrl> requested;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (type == NavigationTypeTyped || !isMainFrame)
            return true;
        requested << url;
        return false;
    }
};

// Values that would turn into event handlers or script links if they left their place.
generation::PageData hostileProduct(const QString &image)
{
    const QString breakOut = R"(Q" onmouseover="window.__pwned=1" onfocus="window.__pwned=1" x=" )"
                             R"(Q' onmouseover='window.__pwned=1' onload='window.__pwned=1' x=' </script>)";
    generation::PageData d;
    for (const generation::Field &field : generation::Fields())
        if (field.kind == generation::FieldKind::Text && !field.placeholders.isEmpty())
            d.*field.text = breakOut; // the addresses and the picture are set below
    d.lvwFAQ = {{breakOut, {breakOut}}};
    d.lvwFeatures = {{breakOut, {breakOut}}};
    d.lvwTestimonial = {{breakOut, {breakOut, breakOut}}, {breakOut, {breakOut, breakOut}}};
    d.txtProductImage = image;
    d.txtPurchaseURL = R"(http://x.example/buy' onmouseover='window.__pwned=1' onfocus='window.__pwned=1)";
    d.txtSupportURL = R"(http://x.example/" onmouseover="window.__pwned=1)";
    d.txtAffiliateURL = R"(http://x.example/' onmouseover='window.__pwned=1)";
    d.txtDownloadURL = R"(http://x.example/" onfocus="window.__pwned=1)";
    return d;
}

} // namespace

TEST(TemplateAccessibility, LaidOutAndNoSeriousViolationAtEveryWidth)
{
    // Without axe-core the layout is still checked; the test then reports itself skipped.
    const QString axePath = QStringLiteral(QUILLMARK_AXE_JS);
    const QString axe =
        QFileInfo(axePath).isFile() ? QString::fromUtf8(testing_support::readAll(axePath)) : QString();
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    const QString pictures = qEnvironmentVariable("QUILLMARK_TEMPLATE_PICTURES");
    const std::pair<const char *, generation::PageData> products[] = {
        {"sample", testing_support::LoadSampleProduct(appFolder)},
        {"minimal", testing_support::MinimalProduct()},
        {"one-row", testing_support::OneRowProduct(appFolder)}};

    QWebEngineView view;
    view.resize(1280, 900);
    view.show();
    QStringList templates = QDir(appFolder + "/templates").entryList({"*.htm"}, QDir::Files);
    ASSERT_EQ(templates.size(), int(std::size(kLayouts)));
    for (const Layout &layout : kLayouts) {
        const QString name = layout.name;
        ASSERT_TRUE(templates.contains(name + ".htm")) << layout.name;
        QTemporaryDir out; // one folder a template: its products share the prepared picture
        for (const auto &[productName, product] : products) {
            SCOPED_TRACE((name + " with the " + productName + " product").toStdString());
            QString page = out.filePath("offer.htm");
            QString image =
                product.txtProductImage.isEmpty() ? QString() : appFolder + "/" + product.txtProductImage;
            ASSERT_TRUE(generation::GenerateTemplateBasedPage(appFolder, name, page, image, product));
            // One load per page; the widths are tried by resizing the window around it.
            ASSERT_NO_FATAL_FAILURE(load(view, page));
            if (!axe.isEmpty())
                evaluate(*view.page(), axe);
            for (const int width : {1280, 768, 390}) {
                SCOPED_TRACE(width);
                view.resize(width, 900);
                ASSERT_TRUE(testing_support::waitFor(
                    [&] { return evaluate(*view.page(), "window.innerWidth").toInt() == width; }, 10000));
                expectLaidOut(*view.page(), layout, width);
                // The one-row product is there for the layout; its markup is the sample's.
                if (!axe.isEmpty() && width != 768 && std::string_view(productName) != "one-row") {
                    const QJsonArray serious = seriousViolations(*view.page());
                    EXPECT_TRUE(serious.isEmpty()) << QJsonDocument(serious).toJson().toStdString();
                }
                if (!pictures.isEmpty()) {
                    const int height =
                        evaluate(*view.page(), "document.documentElement.scrollHeight").toInt();
                    view.resize(width, qBound(600, height, 6000));
                    testing_support::wait(300);
                    view.grab().save(QString("%1/%2-%3-%4.png").arg(pictures, name, productName).arg(width));
                }
            }
        }
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
    if (axe.isEmpty())
        GTEST_SKIP() << "layout checked, but axe-core is not there (scripts/setup-deps.sh fetches it): "
                     << axePath.toStdString();
}

TEST(HostileAnswers, RunNoScriptInAnyTemplate)
{
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    QTemporaryDir out;
    // A picture whose very name tries to leave the src attribute.
    const QString image = out.filePath(R"(shot" onerror="window.__pwned=1" x=".png)");
    ASSERT_TRUE(QFile::copy(appFolder + "/sites/Ledgerlark_screenshot.png", image));
    const generation::PageData quotes = hostileProduct(image);
    generation::PageData scripts = hostileProduct({});
    scripts.txtSupportURL = "javascript:window.__pwned=1";
    scripts.txtAffiliateURL = " \tJaVaScRiPt:window.__pwned=1";
    scripts.txtDownloadURL = "java\nscript:window.__pwned=1";
    scripts.txtPurchaseURL = "data:text/html,<script>window.top.__pwned=1</script>";

    QWebEngineView view;
    StayingPage page(&view);
    view.setPage(&page);
    view.resize(1280, 900);
    view.show();
    QStringList templates = QDir(appFolder + "/templates").entryList({"*.htm"}, QDir::Files);
    ASSERT_FALSE(templates.isEmpty());
    for (const QString &name : templates.replaceInStrings(".htm", "")) {
        SCOPED_TRACE(name.toStdString());
        // Quotes go through generation; script addresses are refused there, so what the
        // engine itself makes of them is shown.
        const QString quotesPage = out.filePath(name + "-quotes.htm");
        ASSERT_TRUE(generation::GenerateTemplateBasedPage(appFolder, name, quotesPage, image, quotes))
            << dialogs.lastMessage().toStdString();
        const QString scriptsPage = out.filePath(name + "-scripts.htm");
        ASSERT_TRUE(testing_support::writeAll(
            scriptsPage,
            generation::FillTemplate(appFolder + "/templates/" + name + ".htm", scripts).toUtf8()));
        for (const QString &file : {quotesPage, scriptsPage}) {
            SCOPED_TRACE(file.toStdString());
            page.requested.clear();
            ASSERT_NO_FATAL_FAILURE(load(view, file));
            const QString found = evaluate(page, R"((() => {
                const all = [...document.querySelectorAll('*')];
                for (const el of all) {
                    for (const type of ['mouseover', 'mouseenter', 'focus', 'load', 'error'])
                        el.dispatchEvent(new MouseEvent(type, {bubbles: true}));
                    if (el.focus) el.focus();
                }
                for (const a of document.querySelectorAll('a, area, button')) a.click();
                const handlers = all.flatMap(el => [...el.attributes].filter(a => a.name.startsWith('on'))
                                                      .map(a => el.tagName + ' ' + a.name));
                const links = all.flatMap(el => ['href', 'src', 'action'].filter(n => el.hasAttribute(n))
                                 .map(n => new URL(el.getAttribute(n), location).protocol)
                                 .filter(p => ['javascript:', 'data:', 'vbscript:'].includes(p)));
                const shown = document.body.innerText.includes('Q" onmouseover="window.__pwned=1"');
                return JSON.stringify({handlers, links, shown});
            })())")
                                      .toString();
            testing_support::wait(200);
            EXPECT_EQ(evaluate(page, "typeof window.__pwned").toString().toStdString(), "undefined")
                << found.toStdString();
            // The answers are there, as text; no handler and no script address came of them.
            EXPECT_EQ(found.toStdString(), R"({"handlers":[],"links":[],"shown":true})");
            for (const QUrl &url : page.requested)
                EXPECT_TRUE(url.scheme() == "http" || url.scheme() == "file") << url.toString().toStdString();
            // The probe works: a script link clicked here would have been seen.
            evaluate(page, "{ const p = document.createElement('a'); p.href = 'javascript:window.__pwned=1';"
                           "  document.body.append(p); p.click(); }");
            EXPECT_TRUE(testing_support::waitFor(
                [&] { return evaluate(page, "window.__pwned").toInt() == 1; }, 5000));
        }
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
}
