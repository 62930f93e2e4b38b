// Every shipped template, filled with the sample product and with the minimal one,
// checked by axe-core inside WebEngine at a desktop and a phone width: no serious or
// critical violation (colour contrast included). Set QUILLMARK_TEMPLATE_PICTURES to a
// folder to keep a picture of each page and width.
#include "SampleProducts.h"
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "generation/modTemplates.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>

namespace {

// Runs a script in the page and waits for its result.
QVariant evaluate(QWebEnginePage &page, const QString &script)
{
    QVariant result;
    bool done = false;
    page.runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 20000))
        return {};
    return result;
}

// axe.run answers with a promise; the page keeps the answer for polling.
QJsonArray seriousViolations(QWebEnginePage &page)
{
    evaluate(page, "window.__axe = undefined;"
                   "axe.run(document, {resultTypes: ['violations']})"
                   ".then(r => { window.__axe = JSON.stringify(r.violations); },"
                   "      e => { window.__axe = JSON.stringify([{id: 'axe-error', impact: 'critical',"
                   "                                            help: String(e), nodes: []}]); });");
    QString answer;
    (void)QTest::qWaitFor(
        [&] {
            answer = evaluate(page, "window.__axe || ''").toString();
            return !answer.isEmpty();
        },
        60000);
    QJsonArray serious;
    for (const QJsonValue &v : QJsonDocument::fromJson(answer.toUtf8()).array()) {
        const QString impact = v["impact"].toString();
        if (impact == "serious" || impact == "critical")
            serious.append(v);
    }
    if (answer.isEmpty())
        serious.append(QJsonObject{{"id", "no-answer"}});
    return serious;
}

QString describe(const QJsonArray &violations)
{
    QString text;
    for (const QJsonValue &v : violations) {
        text += v["id"].toString() + " (" + v["impact"].toString() + "): " + v["help"].toString() + "\n";
        for (const QJsonValue &node : v["nodes"].toArray())
            text += "    " + node["html"].toString().left(160) + "\n      " +
                    node["failureSummary"].toString().replace("\n", " ").left(240) + "\n";
    }
    return text;
}

} // namespace

TEST(TemplateAccessibility, NoSeriousViolationAtDesktopAndPhoneWidth)
{
    const QString axePath = QStringLiteral(QUILLMARK_AXE_JS);
    if (!QFileInfo(axePath).isFile())
        GTEST_SKIP() << "axe-core is not there (scripts/setup-deps.sh fetches it): " << axePath.toStdString();
    const QString axe = QString::fromUtf8(testing_support::readAll(axePath));
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    const QString pictures = qEnvironmentVariable("QUILLMARK_TEMPLATE_PICTURES");
    const std::pair<const char *, generation::PageData> products[] = {
        {"sample", testing_support::LoadSampleProduct(appFolder)},
        {"minimal", testing_support::MinimalProduct()}};

    QWebEngineView view;
    view.resize(1280, 900);
    view.show();
    QStringList templates = QDir(appFolder + "/templates").entryList({"*.htm"}, QDir::Files);
    ASSERT_FALSE(templates.isEmpty());
    for (QString name : templates.replaceInStrings(".htm", "")) {
        for (const auto &[productName, product] : products) {
            SCOPED_TRACE((name + " with the " + productName + " product").toStdString());
            QTemporaryDir out;
            QString page = out.filePath("offer.htm");
            QString image =
                product.txtProductImage.isEmpty() ? QString() : appFolder + "/" + product.txtProductImage;
            ASSERT_TRUE(generation::GenerateTemplateBasedPage(appFolder, name, page, image, product));
            for (const int width : {1280, 390}) {
                SCOPED_TRACE(width);
                view.resize(width, 900);
                bool loaded = false;
                QObject::connect(
                    view.page(), &QWebEnginePage::loadFinished, &view, [&] { loaded = true; },
                    Qt::SingleShotConnection);
                view.load(QUrl::fromLocalFile(page));
                ASSERT_TRUE(QTest::qWaitFor([&] { return loaded; }, 20000));
                ASSERT_EQ(evaluate(*view.page(), "window.innerWidth").toInt(), width);
                evaluate(*view.page(), axe);
                const QJsonArray serious = seriousViolations(*view.page());
                EXPECT_TRUE(serious.isEmpty()) << describe(serious).toStdString();
                if (!pictures.isEmpty()) {
                    const int height =
                        evaluate(*view.page(), "document.documentElement.scrollHeight").toInt();
                    view.resize(width, qBound(600, height, 6000));
                    QTest::qWait(300);
                    view.grab().save(QString("%1/%2-%3-%4.png").arg(pictures, name, productName).arg(width));
                }
            }
        }
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
}
