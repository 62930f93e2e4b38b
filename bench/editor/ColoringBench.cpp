// Source colouring on big pages: computing the colour runs, applying them to the
// real source view, and bad input (binary, 20 MB, unterminated tags and comments)
// from loading the file to the window answering again.
//   QT_QPA_PLATFORM=offscreen editor_coloring_bench
#include "editor/logic/FindText.h"
#include "editor/logic/SourceColoring.h"
#include "editor/modMain.h"
#include "platform/widgets/SourceView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <benchmark/benchmark.h>

namespace {

// A generated sales page of about `bytes` bytes: paragraphs, links, table cells,
// comments; roughly 30 tags per kilobyte.
QString generatedPage(qsizetype bytes)
{
    static const QString block = QStringLiteral(
        "<tr><td width=\"50%\" class=\"feature\">Saves time on every order, every day of the week "
        "and more</td>\r\n<td><a href=\"buy.htm\" target=_blank>Buy now</a> or read the <b>manual</b> "
        "first.</td></tr>\r\n<!-- row end --><p align=center>Our customers like it a lot. It takes a minute "
        "to "
        "set up, runs on every machine in the office, and the licence covers the whole team, with free "
        "updates for a year and support by mail from the people who wrote it.<br></p>\r\n<p>Try it for "
        "thirty days without paying anything; if it is not for you, simply remove it again.</p>\r\n");
    QString page =
        QStringLiteral("<!DOCTYPE html>\r\n<html><head><title>Page</title></head><body><table>\r\n");
    while (page.size() < bytes)
        page += block;
    page += QStringLiteral("</table></body></html>\r\n");
    return page;
}

int tagCount(const QString &text)
{
    return int(text.count(QLatin1Char('<')));
}

void BM_ColorRuns(benchmark::State &state)
{
    const QString page = generatedPage(state.range(0));
    size_t runs = 0;
    for (auto _ : state) {
        const textmodel::ColorRuns r = editor::rangeColorRuns(page);
        runs = r.size();
        benchmark::DoNotOptimize(r.data());
    }
    state.counters["tags"] = tagCount(page);
    state.counters["runs"] = double(runs);
    state.SetBytesProcessed(int64_t(state.iterations()) * page.size());
}
BENCHMARK(BM_ColorRuns)
    ->Arg(256 << 10)
    ->Arg(512 << 10)
    ->Arg(1 << 20)
    ->Arg(2 << 20)
    ->Unit(benchmark::kMillisecond);

// ColorizeSource into the real view, freshly filled (black) before each pass, and
// the view painted with its colours.
void BM_ColorizeSourceView(benchmark::State &state)
{
    const QString page = generatedPage(state.range(0));
    platform::SourceView view;
    view.resize(800, 600);
    view.show();
    for (auto _ : state) {
        state.PauseTiming();
        view.setText(page);
        QApplication::processEvents();
        state.ResumeTiming();
        editor::modMain::ColorizeSource(view);
        view.viewport()->repaint();
    }
    state.counters["tags"] = tagCount(page);
    state.SetBytesProcessed(int64_t(state.iterations()) * page.size());
}
BENCHMARK(BM_ColorizeSourceView)
    ->Arg(256 << 10)
    ->Arg(512 << 10)
    ->Arg(1 << 20)
    ->Arg(2 << 20)
    ->Unit(benchmark::kMillisecond);

// A page of `range` bytes on one line (minified): the whole page is one paragraph of
// the view, which is laid out as a whole after each change.
void BM_ColorizeOneLinePage(benchmark::State &state)
{
    QString page = generatedPage(state.range(0));
    page.remove(QLatin1Char('\r'));
    page.remove(QLatin1Char('\n'));
    platform::SourceView view;
    view.resize(800, 600);
    view.show();
    double fill = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QElapsedTimer t;
        t.start();
        view.setText(page);
        QApplication::processEvents();
        fill = double(t.nsecsElapsed()) / 1e6;
        state.ResumeTiming();
        editor::modMain::ColorizeSource(view);
        QApplication::processEvents();
    }
    state.counters["fill_ms"] = fill;
}
BENCHMARK(BM_ColorizeOneLinePage)->Arg(128 << 10)->Arg(1 << 20)->Iterations(1)->Unit(benchmark::kMillisecond);

// Bad input, from LoadFile to the first processed event after the colouring pass:
// 0 = 20 MB of random bytes, 1 = a 20 MB page, 2 = 20 MB after an unterminated
// comment, 3 = 20 MB on one line after a "<" without ">", 4 = a 20 MB page with no
// ">" at all after "<a href=". The counters split the time.
void BM_BadInput(benchmark::State &state)
{
    constexpr qsizetype kSize = 20 << 20;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.htm"));
    QByteArray bytes;
    switch (state.range(0)) {
    case 0: {
        bytes.resize(kSize);
        QRandomGenerator gen(42);
        gen.fillRange(reinterpret_cast<quint32 *>(bytes.data()), kSize / 4);
        break;
    }
    case 1:
        bytes = generatedPage(kSize).toLocal8Bit();
        break;
    case 2:
        bytes = "<p>start</p><!-- never closed " + generatedPage(kSize).toLocal8Bit();
        bytes.replace("-->", "--");
        bytes.replace("->", "-");
        break;
    case 3:
        bytes = "<p>start</p>< " + QByteArray(kSize, 'x');
        break;
    default:
        bytes = "<p>start</p><a href=" + generatedPage(kSize).toLocal8Bit();
        bytes.replace('>', ' ');
        break;
    }
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    file.close();

    platform::SourceView view;
    view.resize(800, 600);
    view.show();
    double load = 0, colour = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        view.LoadFile(path);
        load = double(t.nsecsElapsed()) / 1e6;
        t.restart();
        editor::modMain::ColorizeSource(view);
        QApplication::processEvents();
        colour = double(t.nsecsElapsed()) / 1e6;
    }
    state.counters["load_ms"] = load;
    state.counters["colour_ms"] = colour;
}
BENCHMARK(BM_BadInput)->DenseRange(0, 4)->Iterations(1)->Unit(benchmark::kMillisecond);

// A key typed into a coloured 20 MB page (0) or into a 20 MB line (1), with the
// colouring hook, up to the repainted view.
void BM_TypeIntoBigText(benchmark::State &state)
{
    constexpr qsizetype kSize = 20 << 20;
    QString text = generatedPage(kSize);
    if (state.range(0) == 1)
        text.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    platform::SourceView view;
    view.resize(800, 600);
    view.show();
    view.setText(text);
    editor::modMain::ColorizeSource(view);
    editor::modMain::InstallColorizeHook(view);
    view.setSelStart(int(text.size() / 2));
    QApplication::processEvents();
    int n = 0;
    for (auto _ : state) {
        const char c = "<b x=1>"[n++ % 7];
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QLatin1Char(c)));
        QApplication::sendEvent(&view, &press);
        view.viewport()->repaint();
    }
}
BENCHMARK(BM_TypeIntoBigText)->DenseRange(0, 1)->Iterations(50)->Unit(benchmark::kMillisecond);

// Loading a 1 MB page into the source view (SourceView::LoadFile, without the
// colouring), beside the peer: the file's readAll decoded and set into a plain
// QPlainTextEdit with setPlainText. (Run with --benchmark_enable_random_interleaving=true
// so that the repetitions of ours and the peer's interleave.)
void BM_LoadSourceOneMegabyte(benchmark::State &state)
{
    const bool peer = state.range(0) == 1;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.htm"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(generatedPage(1 << 20).toLocal8Bit()) < 0) {
            state.SkipWithError("cannot write the page");
            return;
        }
    }
    platform::SourceView ours;
    QPlainTextEdit plain;
    for (auto _ : state) {
        if (peer) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                state.SkipWithError("cannot read the page");
            plain.setPlainText(QString::fromLocal8Bit(file.readAll()));
        } else if (!ours.LoadFile(path)) {
            state.SkipWithError("cannot load the page");
        }
    }
}
BENCHMARK(BM_LoadSourceOneMegabyte)
    ->ArgName("peer")
    ->DenseRange(0, 1)
    ->Iterations(20)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

// Replace All of a word with about 200,000 matches on a coloured 20 MB page, as the
// editor does it (the matches found in the text, each replaced in one edit, coloured
// again where a replacement may change the colours), and the undo of it, which
// brings the colours back; beside the peer: a plain QPlainTextEdit that finds and
// replaces match by match in one edit block. The counters split the time.
const QString &replacePage()
{
    static const QString page = [] {
        const QString line = QStringLiteral("<p class=\"offer\">Buy now and save a lot on every licence, "
                                            "with free updates for a whole year.</p>\n");
        return line.repeated((20 << 20) / int(line.size()));
    }();
    return page;
}

void BM_ReplaceAllTwentyMegabytes(benchmark::State &state)
{
    const bool undo = state.range(0) == 1;
    editor::FindOptions options;
    options.matchCase = options.wholeWord = true;
    const auto pattern = editor::FindPattern(QStringLiteral("Buy"), options);
    platform::SourceView view;
    view.resize(800, 600);
    view.show();
    size_t replaced = 0;
    double find = 0, edit = 0, paint = 0, undoMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        view.setText(replacePage());
        editor::modMain::ColorizeSource(view); // the editor shows a page coloured
        QApplication::processEvents();
        if (!undo)
            state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        const QString text = view.Text();
        const auto places = editor::ReplacementsIn(text, *pattern, QStringLiteral("Get"), false);
        find = double(t.nsecsElapsed()) / 1e6;
        t.restart();
        editor::modMain::ReplacePlaces(view, text, places);
        edit = double(t.nsecsElapsed()) / 1e6;
        t.restart();
        QApplication::processEvents();
        paint = double(t.nsecsElapsed()) / 1e6;
        replaced = places.size();
        if (undo)
            state.ResumeTiming();
        else
            state.PauseTiming();
        t.restart();
        view.undo();
        undoMs = double(t.nsecsElapsed()) / 1e6;
        QApplication::processEvents();
        if (!undo)
            state.ResumeTiming();
    }
    if (view.Text() != replacePage() || view.colorAt(10) != editor::kColorValue ||
        view.colorAt(int(replacePage().size()) - 3) != editor::kColorTag)
        state.SkipWithError("the undo did not give the page and its colours back");
    state.counters["matches"] = double(replaced);
    state.counters["find_ms"] = find;
    state.counters["edit_ms"] = edit;
    state.counters["paint_ms"] = paint;
    state.counters["undo_ms"] = undoMs;
}
BENCHMARK(BM_ReplaceAllTwentyMegabytes)
    ->ArgName("undo")
    ->DenseRange(0, 1)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

void BM_ReplaceAllPeerFindLoop(benchmark::State &state)
{
    const bool undo = state.range(0) == 1;
    QPlainTextEdit view;
    view.resize(800, 600);
    view.show();
    int replaced = 0;
    for (auto _ : state) {
        state.PauseTiming();
        view.setPlainText(replacePage());
        view.document()->setUndoRedoEnabled(true);
        QApplication::processEvents();
        if (!undo)
            state.ResumeTiming();
        replaced = 0;
        QTextCursor edit(view.document());
        edit.beginEditBlock();
        const auto flags = QTextDocument::FindCaseSensitively | QTextDocument::FindWholeWords;
        for (QTextCursor c = view.document()->find(QStringLiteral("Buy"), 0, flags); !c.isNull();
             c = view.document()->find(QStringLiteral("Buy"), c, flags)) {
            c.insertText(QStringLiteral("Get"));
            ++replaced;
        }
        edit.endEditBlock();
        QApplication::processEvents();
        if (undo)
            state.ResumeTiming();
        else
            state.PauseTiming();
        view.undo();
        QApplication::processEvents();
        if (!undo)
            state.ResumeTiming();
    }
    state.counters["matches"] = replaced;
}
BENCHMARK(BM_ReplaceAllPeerFindLoop)
    ->ArgName("undo")
    ->DenseRange(0, 1)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

} // namespace
