#include "platform/widgets/DesignView.h"

#include "editor/source/HtmlText.h"
#include "editor/source/SourceText.h"
#include "platform/AppFolder.h"
#include "platform/widgets/BrowserView.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryFile>
#include <QTimer>
#include <QWebEngineContextMenuRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <memory>

namespace platform {

namespace {

// A JavaScript literal for `text` (a JSON string is one).
QString jsString(const QString &text)
{
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

// The document's editing page: it goes only where the view itself sends it, so a
// file dropped on it or a followed link cannot replace the document being edited.
class DesignPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;
    bool allowNavigation = false;

protected:
    bool acceptNavigationRequest(const QUrl &, NavigationType, bool isMainFrame) override
    {
        return !isMainFrame || allowNavigation;
    }
};

struct Waiter {
    QEventLoop *loop = nullptr;
    bool done = false;
    bool failed = false; // ended without an answer (the renderer went away)
    QVariant value;
    void finish(const QVariant &v)
    {
        if (done)
            return;
        value = v;
        done = true;
        if (loop)
            loop->quit();
    }
    void fail()
    {
        failed = !done;
        finish(QVariant());
    }
};

int fontSizeFromPoints(qreal points)
{
    static const qreal limits[] = {8, 10, 12, 14, 18, 24};
    int size = 1;
    for (qreal limit : limits) {
        if (points <= limit)
            return size;
        ++size;
    }
    return 7;
}

// The HTML text in the document's own character set: a page that declares a
// Latin-1 set keeps it, and characters outside it become numeric references;
// everything else is written in the locale's encoding.
QByteArray encodeHtml(const QString &html, const QString &charset)
{
    const QString cs = charset.toLower();
    const bool latin1 = cs == QLatin1String("windows-1252") || cs == QLatin1String("iso-8859-1") ||
                        cs == QLatin1String("us-ascii");
    return textmodel::EncodeHtmlText(html, latin1);
}

} // namespace

// The flag the page's mutation observer sets, in the view's own script world.
constexpr char kEditedFlag[] = "__quillmarkEdited";
// How long a clipboard action that is to change the document is waited for.
constexpr int kActionChangeWaitMs = 500;

// Runs in the view's own script world as each document is made, so a load needs no
// round trip (which would wait for the page to be laid out): the document is
// editable from the start, which spares it a second styling once loaded, and from
// its load event (in the page's own process, before any input reaches it) an
// observer notes every change. The page as loaded is written down only when it is
// first about to change: on the browser's notice of an edit, or before a script of
// the view runs (__quillmarkTake). A change that comes without notice leaves no form
// of it (the edits are then taken whole). The HTML is written as the browser writes
// a document: its nodes' markup in order.
const char kEditingScript[] = R"(
window.__quillmarkHtml = function () {
  var out = '';
  for (var n = document.firstChild; n; n = n.nextSibling) {
    if (n.nodeType === Node.DOCUMENT_TYPE_NODE)
      out += '<!DOCTYPE ' + n.name + (n.publicId ? ' PUBLIC "' + n.publicId + '"' : '') +
             (n.systemId ? (n.publicId ? '' : ' SYSTEM') + ' "' + n.systemId + '"' : '') + '>';
    else if (n.nodeType === Node.COMMENT_NODE)
      out += '<!--' + n.data + '-->';
    else if (n.nodeType === Node.ELEMENT_NODE)
      out += n.outerHTML;
  }
  return out;
};
document.designMode = 'on';
window.addEventListener('load', function () {
  document.designMode = 'on';
  var taken = false;
  window.__quillmarkTake = function () {
    if (!taken) {
      taken = true;
      window.__quillmarkLoaded = window.__quillmarkHtml();
    }
  };
  document.addEventListener('beforeinput', window.__quillmarkTake, true);
  window.%1 = false;
  new MutationObserver(function () {
    taken = true; // too late now to write it down: it stays unknown, unless taken before
    window.%1 = true;
    window.__quillmarkChanges = (window.__quillmarkChanges || 0) + 1;
  }).observe(document, {childList: true, subtree: true, characterData: true, attributes: true});
});
)";

// Put before each script of the view that may change the page.
constexpr char kTakeFirst[] = "if (window.__quillmarkTake) window.__quillmarkTake();\n";

class DesignView::Private {
public:
    DesignView *q = nullptr;
    DesignPage *made = nullptr; // see page()
    QString language;           // of spelling; the profile takes it with the page
    bool busy = false;
    bool dirty = false;
    bool loaded = false;
    QString baseline;         // the document as it was last set, loaded or saved
    bool baselineDue = false; // the page keeps it (as loaded) until it is asked for
    int timeoutMs = 15000;
    DesignView::PictureInserter pictureInserter;
    std::unique_ptr<QTemporaryFile> htmlFile;
    std::shared_ptr<Waiter> active; // the running wait, ended early when the renderer dies

    // Runs `start` (which hands the waiter to a WebEngine callback) and processes
    // events until the callback came or, when `timed`, the time ran out. Refused while
    // another wait of this view is running.
    bool wait(const std::function<void(const std::shared_ptr<Waiter> &)> &start, QVariant *result,
              bool timed = true)
    {
        if (busy)
            return false;
        busy = true;
        QPointer<DesignView> alive(q);
        auto waiter = std::make_shared<Waiter>();
        QEventLoop loop;
        waiter->loop = &loop;
        active = waiter;
        start(waiter);
        if (!waiter->done) {
            if (timed)
                QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
            loop.exec();
        }
        waiter->loop = nullptr;
        if (!alive)
            return false; // the view went away while waiting
        active.reset();
        busy = false;
        if (result)
            *result = waiter->value;
        return waiter->done && !waiter->failed;
    }

    // Runs a script that may change the page (the page as loaded is written down first).
    bool run(const QString &script, QVariant *result = nullptr, bool timed = true)
    {
        return read(QLatin1String(kTakeFirst) + script, result, timed);
    }
    // Runs a script that changes nothing in the page.
    bool read(const QString &script, QVariant *result = nullptr, bool timed = true)
    {
        return wait(
            [this, &script](const std::shared_ptr<Waiter> &w) {
                page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                      [w](const QVariant &v) { w->finish(v); });
            },
            result, timed);
    }

    bool html(QString *out, bool timed = true)
    {
        QVariant v;
        if (!read(QStringLiteral("window.__quillmarkHtml()"), &v, timed) || v.typeId() != QMetaType::QString)
            return false;
        *out = v.toString();
        return true;
    }

    // A load that runs without a wait yet: what WebEngine said of it so far, and the
    // wait to tell once one runs.
    struct PendingLoad {
        bool started = false;
        bool finished = false;
        bool ok = false;
        std::shared_ptr<Waiter> waiter;
        QMetaObject::Connection onStart, onFinish;
    };
    std::unique_ptr<PendingLoad> pending;
    QString pendingFile; // set when the pending load is a file's (startLoadDocument)

    void beginLoad(const std::function<void()> &startLoad)
    {
        dropPending();
        pending = std::make_unique<PendingLoad>();
        PendingLoad *p = pending.get();
        p->onStart = QObject::connect(page(), &QWebEnginePage::loadStarted, q, [p] { p->started = true; });
        p->onFinish = QObject::connect(page(), &QWebEnginePage::loadFinished, q, [p](bool ok) {
            // A load that was running before ours may report its end first.
            if (!p->started || p->finished)
                return;
            p->finished = true;
            p->ok = ok;
            if (p->waiter)
                p->waiter->finish(ok);
        });
        page()->allowNavigation = true;
        startLoad();
    }

    void dropPending()
    {
        if (!pending)
            return;
        QObject::disconnect(pending->onStart);
        QObject::disconnect(pending->onFinish);
        pending.reset();
        pendingFile.clear();
        if (made)
            made->allowNavigation = false;
    }

    // Waits for the pending load to end; true when it loaded.
    bool endLoad()
    {
        PendingLoad *p = pending.get();
        QPointer<DesignView> alive(q);
        QVariant ok;
        // A load has no time limit: a big page takes WebEngine as long as it takes, and
        // the load ends by itself, finished or failed (or with the renderer).
        const bool finished = wait(
            [p](const std::shared_ptr<Waiter> &w) {
                p->waiter = w;
                if (p->finished)
                    w->finish(p->ok);
            },
            &ok, false);
        if (!alive)
            return false;
        dropPending();
        if (!finished || !ok.toBool())
            return false;
        loaded = true;
        dirty = false;
        baseline.clear();
        baselineDue = true;
        return true;
    }

    bool load(const std::function<void()> &startLoad)
    {
        if (busy)
            return false; // before anything of the running wait is touched
        beginLoad(startLoad);
        return endLoad();
    }

    const QString &loadedHtml()
    {
        if (baselineDue) {
            QVariant v;
            // Taken from the page, which need not hold it any longer.
            if (run(QStringLiteral("(function () { var h = window.__quillmarkLoaded;"
                                   " window.__quillmarkLoaded = null; return h; })()"),
                    &v, false) &&
                v.typeId() == QMetaType::QString)
                baseline = v.toString();
            baselineDue = false;
        }
        return baseline;
    }

    // Puts `html` in place of the selection through the DOM: the editing commands
    // drop <picture> and <source>.
    bool insertElement(const QString &html)
    {
        const QString script = QStringLiteral(
            "(function(h){ var s = window.getSelection(); var r;"
            " if (s.rangeCount) { r = s.getRangeAt(0); r.deleteContents(); }"
            " else { r = document.createRange(); r.setStart(document.body || document.documentElement, 0); }"
            " var t = document.createElement('template'); t.innerHTML = h;"
            " var last = t.content.lastChild; r.insertNode(t.content);"
            " if (last) { r.setStartAfter(last); r.collapse(true); s.removeAllRanges(); s.addRange(r); }"
            " return !!last; })(%1)");
        QVariant v;
        if (!run(script.arg(jsString(html)), &v) || !v.toBool())
            return false;
        dirty = true;
        emit q->documentChanged();
        return true;
    }

    bool execCommand(const QString &name, const QString &value = QString())
    {
        QVariant v;
        // Colour and font commands write CSS spans, not <font>; the others keep
        // their plain elements (<b>, <i>, <u>).
        static const QStringList cssCommands = {QStringLiteral("fontName"), QStringLiteral("fontSize"),
                                                QStringLiteral("foreColor"), QStringLiteral("backColor"),
                                                QStringLiteral("hiliteColor")};
        const QString call =
            QStringLiteral("document.execCommand(%1, false, %2)")
                .arg(jsString(name), value.isNull() ? QStringLiteral("null") : jsString(value));
        const QString script =
            cssCommands.contains(name)
                ? QStringLiteral("(function(){ document.execCommand('styleWithCSS', false, true);"
                                 " try { return %1; } finally {"
                                 " document.execCommand('styleWithCSS', false, false); } })()")
                      .arg(call)
                : call;
        return run(script, &v) && v.toBool();
    }

    // The document counts as unedited from here on.
    void clearEditedFlag()
    {
        read(QStringLiteral("window.%1 = false; true").arg(QLatin1String(kEditedFlag)));
    }

    // The editing page, made on first use rather than with the view: starting the web
    // engine is most of the program's start-up, and the window can be shown before it.
    DesignPage *page()
    {
        if (made)
            return made;
        made = new DesignPage(QWebEngineProfile::defaultProfile(), q);
        // The page's own scripts must not change the document being edited; the view's
        // scripts run in their own world and still work.
        made->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        made->settings()->setDefaultTextEncoding(
            QString::fromLatin1(QStringConverter::nameForEncoding(QStringConverter::System)));
        QWebEngineScript editing;
        editing.setName(QStringLiteral("quillmark-editing"));
        editing.setInjectionPoint(QWebEngineScript::DocumentCreation);
        editing.setWorldId(QWebEngineScript::ApplicationWorld);
        editing.setRunsOnSubFrames(false);
        editing.setSourceCode(QString::fromLatin1(kEditingScript).arg(QLatin1String(kEditedFlag)));
        made->scripts().insert(editing);
        // Waits without a time limit would never end otherwise.
        QObject::connect(made, &QWebEnginePage::renderProcessTerminated, q, [this] {
            if (pending && !pending->finished) { // ended with the renderer, maybe before any wait
                pending->finished = true;
                pending->ok = false;
            }
            if (active)
                active->fail();
        });
        applyLanguage();
        q->setPage(made); // a shown view shows it at once
        return made;
    }

    void applyLanguage()
    {
        QWebEngineProfile *profile = made->profile();
        profile->setSpellCheckLanguages(language.isEmpty() ? QStringList() : QStringList{language});
        profile->setSpellCheckEnabled(!language.isEmpty());
    }

    // Runs an action of the browser side (the clipboard's). It reaches the page by
    // another way than the view's scripts, so the next look at the page could come
    // first: an action that is to change the document (`changes`) is waited for, until
    // the page saw a change or a short time passed.
    bool trigger(QWebEnginePage::WebAction action, bool changes)
    {
        // The page as loaded is written down before the action may change it.
        const QString count = QStringLiteral("window.__quillmarkChanges || 0");
        QVariant before;
        if (busy || !run(changes ? count : QStringLiteral("true"), &before))
            return false;
        page()->triggerAction(action);
        QElapsedTimer waited;
        waited.start();
        QVariant now;
        do {
            if (!read(changes ? count : QStringLiteral("true"), &now))
                return false;
        } while (changes && now == before && waited.elapsed() < kActionChangeWaitMs);
        return true;
    }
};

DesignView::DesignView(QWidget *parent) : QWebEngineView(parent), d(new Private)
{
    d->q = this;
}

DesignView::~DesignView()
{
    // A wait that runs (the view went away while loading) ends with it, and the
    // handlers of a pending load would outlive it.
    if (d->active)
        d->active->fail();
    d->dropPending();
    delete d;
}

QWebEnginePage *DesignView::page() const
{
    return d->page();
}

void DesignView::setWaitTimeout(int milliseconds)
{
    d->timeoutMs = milliseconds;
}

bool DesignView::setDocumentHTML(const QString &html, const QString &baseFile)
{
    if (d->busy)
        return false;
    QPointer<DesignView> alive(this);
    const QString folder = programFolder();
    const QUrl base =
        !baseFile.isEmpty()
            ? QUrl::fromLocalFile(QFileInfo(baseFile).absoluteFilePath())
            : QUrl::fromLocalFile((folder.isEmpty() ? QDir::currentPath() : folder) + QLatin1Char('/'));
    bool ok = false;
    if (html.size() < kInlineHtmlLimit) {
        ok = d->load([&] { d->page()->setHtml(html, base); });
    } else {
        d->htmlFile.reset(new QTemporaryFile(QDir::tempPath() + QStringLiteral("/quillmark-XXXXXX.htm")));
        if (d->htmlFile->open() && d->htmlFile->write(html.toUtf8()) >= 0 && d->htmlFile->flush())
            ok = d->load([&] { d->page()->load(QUrl::fromLocalFile(d->htmlFile->fileName())); });
    }
    if (!alive)
        return false;
    emit documentLoaded();
    emit documentChanged();
    return ok;
}

QString DesignView::DocumentHTML()
{
    QString html;
    d->html(&html);
    return html;
}

namespace {

// The encoding a page that declares no character set is read in: the locale's,
// unless its bytes are not valid there; then one byte per character, as it was most
// likely written, so that saving it gives the same bytes back.
QString fallbackEncoding(const QString &path)
{
    QString encoding = QString::fromLatin1(QStringConverter::nameForEncoding(QStringConverter::System));
    // Read in pieces and each piece's text dropped: WebEngine reads the file itself,
    // so a big page is not held here as bytes and text on the way.
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        QStringDecoder decoder = textmodel::LocaleDecoder();
        QByteArray piece(64 * 1024, Qt::Uninitialized);
        for (qint64 n; !decoder.hasError() && (n = file.read(piece.data(), piece.size())) > 0;)
            decoder.decode(QByteArrayView(piece.constData(), n));
        if (decoder.hasError())
            encoding = QStringLiteral("windows-1252");
    }
    return encoding;
}

} // namespace

bool DesignView::startLoadDocument(const QString &path)
{
    const QFileInfo info(path);
    if (d->busy || !info.isFile() || !info.isReadable())
        return false;
    d->page()->settings()->setDefaultTextEncoding(fallbackEncoding(info.absoluteFilePath()));
    d->beginLoad([&] { d->page()->load(QUrl::fromLocalFile(info.absoluteFilePath())); });
    d->pendingFile = info.absoluteFilePath();
    return true;
}

bool DesignView::LoadDocument(const QString &path)
{
    const QFileInfo info(path);
    if (d->busy || !info.isFile() || !info.isReadable())
        return false;
    QPointer<DesignView> alive(this);
    // A load of this file started ahead is waited for; else one starts now.
    if (!d->pending || d->pendingFile != info.absoluteFilePath())
        startLoadDocument(path);
    const bool ok = d->endLoad();
    if (!alive)
        return false;
    emit documentLoaded();
    emit documentChanged();
    return ok;
}

QByteArray DesignView::DocumentBytes(bool *ok)
{
    QString html;
    const bool read = d->html(&html);
    if (ok)
        *ok = read;
    if (!read)
        return {};
    QVariant charset;
    d->read(QStringLiteral("document.characterSet"), &charset);
    return encodeHtml(html, charset.toString());
}

bool DesignView::SaveDocument(const QString &path)
{
    QString html;
    if (!d->html(&html))
        return false;
    QVariant charset;
    d->read(QStringLiteral("document.characterSet"), &charset);
    const QByteArray bytes = encodeHtml(html, charset.toString());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    d->baseline = html;
    d->baselineDue = false;
    d->dirty = false;
    d->clearEditedFlag();
    return true;
}

bool DesignView::ExecCommand(int command, int option, const QVariant &argument)
{
    const bool prompt = option == kPromptUser;
    const QString text = argument.typeId() == QMetaType::QString ? argument.toString() : QString();
    bool ok = false;
    switch (command) {
    case DECMD_BOLD:
        ok = d->execCommand(QStringLiteral("bold"));
        break;
    case DECMD_ITALIC:
        ok = d->execCommand(QStringLiteral("italic"));
        break;
    case DECMD_UNDERLINE:
        ok = d->execCommand(QStringLiteral("underline"));
        break;
    case DECMD_JUSTIFYLEFT:
        ok = d->execCommand(QStringLiteral("justifyLeft"));
        break;
    case DECMD_JUSTIFYCENTER:
        ok = d->execCommand(QStringLiteral("justifyCenter"));
        break;
    case DECMD_JUSTIFYRIGHT:
        ok = d->execCommand(QStringLiteral("justifyRight"));
        break;
    case DECMD_ORDERLIST:
        ok = d->execCommand(QStringLiteral("insertOrderedList"));
        break;
    case DECMD_UNORDERLIST:
        ok = d->execCommand(QStringLiteral("insertUnorderedList"));
        break;
    case DECMD_OUTDENT:
        ok = d->execCommand(QStringLiteral("outdent"));
        break;
    case DECMD_INDENT:
        ok = d->execCommand(QStringLiteral("indent"));
        break;
    // The page may not reach the clipboard; these go through the browser side.
    case DECMD_CUT: {
        QVariant collapsed; // nothing selected: nothing to cut
        if (d->busy || !d->read(QStringLiteral("getSelection().isCollapsed"), &collapsed))
            return false;
        ok = d->trigger(QWebEnginePage::Cut, !collapsed.toBool());
        break;
    }
    case DECMD_COPY:
        return d->trigger(QWebEnginePage::Copy, false);
    case DECMD_PASTE: {
        const QMimeData *clip = QGuiApplication::clipboard()->mimeData();
        ok = d->trigger(QWebEnginePage::Paste, clip && (clip->hasText() || clip->hasHtml()));
        break;
    }
    // Run in the page itself: an action of the browser side comes by another way than
    // the view's scripts, and could reach the page after the next look at it.
    case DECMD_UNDO:
        ok = d->execCommand(QStringLiteral("undo"));
        break;
    case DECMD_REDO:
        ok = d->execCommand(QStringLiteral("redo"));
        break;
    case DECMD_FONT: {
        if (d->busy)
            return false;
        std::optional<QFont> font;
        if (argument.typeId() == QMetaType::QFont)
            font = argument.value<QFont>();
        else if (prompt)
            font = dialogs().chooseFont(QFont(), this);
        else if (!text.isEmpty())
            font = QFont(text, -1);
        if (!font)
            return false;
        ok = d->execCommand(QStringLiteral("fontName"), font->family());
        if (!ok || argument.typeId() == QMetaType::QString)
            break; // a family name alone
        if (font->pointSizeF() > 0)
            d->execCommand(QStringLiteral("fontSize"),
                           QString::number(fontSizeFromPoints(font->pointSizeF())));
        // Bold, italic and underline are toggles: set each to the chosen state.
        const QString toggle = QStringLiteral("(function(n, want){ if (document.queryCommandState(n) !== "
                                              "want) document.execCommand(n); })(%1, %2)");
        d->run(toggle.arg(jsString(QStringLiteral("bold")), font->bold() ? "true" : "false"));
        d->run(toggle.arg(jsString(QStringLiteral("italic")), font->italic() ? "true" : "false"));
        d->run(toggle.arg(jsString(QStringLiteral("underline")), font->underline() ? "true" : "false"));
        break;
    }
    case DECMD_HYPERLINK: {
        if (d->busy)
            return false;
        std::optional<QString> address;
        if (!text.isEmpty())
            address = text;
        else if (prompt)
            address = dialogs().askText(QStringLiteral("Hyperlink"), QStringLiteral("Address:"),
                                        QStringLiteral("http://"), this);
        if (!address || address->trimmed().isEmpty())
            return false;
        ok = d->execCommand(QStringLiteral("createLink"), address->trimmed());
        break;
    }
    case DECMD_IMAGE: {
        if (d->busy)
            return false;
        std::optional<QString> source;
        if (!text.isEmpty())
            source = text;
        else if (prompt)
            source = dialogs().askText(QStringLiteral("Image"), QStringLiteral("Picture address:"), QString(),
                                       this);
        if (!source || source->trimmed().isEmpty())
            return false;
        if (d->pictureInserter) {
            if (const std::optional<QString> html = d->pictureInserter(source->trimmed()))
                return !html->isEmpty() && d->insertElement(*html);
        }
        ok = d->execCommand(QStringLiteral("insertImage"), source->trimmed());
        break;
    }
    case DECMD_SETFORECOLOR: {
        if (d->busy)
            return false;
        QString color = text;
        if (color.isEmpty() && prompt) {
            const std::optional<ColorValue> chosen = dialogs().chooseColor(0, this);
            if (!chosen)
                return false;
            color = QStringLiteral("%1%2%3")
                        .arg(*chosen & 0xFF, 2, 16, QLatin1Char('0'))
                        .arg((*chosen >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                        .arg((*chosen >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
                        .toUpper();
        }
        if (color.isEmpty())
            return false;
        if (!color.startsWith(QLatin1Char('#')))
            color.prepend(QLatin1Char('#'));
        ok = d->execCommand(QStringLiteral("foreColor"), color);
        break;
    }
    default:
        return false;
    }
    if (ok) {
        d->dirty = true;
        emit documentChanged();
    }
    return ok;
}

void DesignView::setPictureInserter(PictureInserter inserter)
{
    d->pictureInserter = std::move(inserter);
}

bool DesignView::setBgColor(const QString &colorText)
{
    if (!d->run(QStringLiteral("document.bgColor = %1; true").arg(jsString(colorText))))
        return false;
    d->dirty = true;
    emit documentChanged();
    return true;
}

bool DesignView::pasteHTML(const QString &html)
{
    // Without a selection (nothing clicked yet) the HTML goes to the start of the body.
    // insertHTML may answer false although it inserted (a caret at the end of a
    // paragraph, a paragraph's whole text selected): the document tells.
    const QString script = QStringLiteral(
        "(function(h){ var s = window.getSelection();"
        " if (!s.rangeCount) { var r = document.createRange();"
        "  r.setStart(document.body || document.documentElement, 0); r.collapse(true); s.addRange(r); }"
        " var seen = new MutationObserver(function(){});"
        " seen.observe(document, {childList: true, subtree: true, characterData: true, attributes: true});"
        " var answer = document.execCommand('insertHTML', false, h);"
        " var changed = seen.takeRecords().length > 0; seen.disconnect();"
        " return answer || changed; })(%1)");
    QVariant v;
    if (!d->run(script.arg(jsString(html)), &v) || !v.toBool())
        return false;
    d->dirty = true;
    emit documentChanged();
    return true;
}

QVariant DesignView::runScript(const QString &script, bool *ok)
{
    QVariant v;
    const bool done = d->run(script, &v);
    if (ok)
        *ok = done;
    return v;
}

bool DesignView::isDirty() const
{
    if (d->dirty || !d->loaded || d->busy)
        return d->dirty;
    // Typing leaves no trace of its own: the page's observer saw any change.
    QVariant edited;
    if (d->read(QStringLiteral("window.%1").arg(QLatin1String(kEditedFlag)), &edited) &&
        edited.typeId() == QMetaType::Bool)
        return edited.toBool();
    // No observer (its script failed): compare with the document as last set.
    QString html;
    if (!d->html(&html))
        return d->dirty;
    return html != d->loadedHtml();
}

void DesignView::setDirty(bool dirty)
{
    d->dirty = dirty;
    if (!dirty && d->loaded) {
        QString html;
        if (d->html(&html)) {
            d->baseline = html;
            d->baselineDue = false;
        }
        d->clearEditedFlag();
    }
}

QString DesignView::baselineHTML() const
{
    return d->loadedHtml();
}

bool DesignView::isWaiting() const
{
    return d->busy;
}

QStringList DesignView::spellingLanguages()
{
    // Where WebEngine itself looks: the environment's folder, else beside the program.
    QString folder = qEnvironmentVariable("QTWEBENGINE_DICTIONARIES_PATH");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/qtwebengine_dictionaries");
    QStringList languages;
    for (const QString &file : QDir(folder).entryList({QStringLiteral("*.bdic")}, QDir::Files, QDir::Name))
        languages << file.chopped(5);
    return languages;
}

void DesignView::useShippedDictionaries()
{
    const QString shipped = programFolder() + QStringLiteral("/qtwebengine_dictionaries");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DICTIONARIES_PATH") && QFileInfo(shipped).isDir())
        qputenv("QTWEBENGINE_DICTIONARIES_PATH", QFile::encodeName(shipped));
}

void DesignView::setSpellingLanguage(const QString &language)
{
    d->language = language;
    if (d->made)
        d->applyLanguage();
}

QString DesignView::spellingLanguage() const
{
    if (!d->made)
        return d->language;
    const QWebEngineProfile *profile = d->made->profile();
    return profile->isSpellCheckEnabled() && !profile->spellCheckLanguages().isEmpty()
               ? profile->spellCheckLanguages().first()
               : QString();
}

// Until its page is made the view shows empty: showing or hiding it must not make a
// page of WebEngine's own in its place. The page takes the view's state when made.
void DesignView::showEvent(QShowEvent *event)
{
    if (d->made)
        QWebEngineView::showEvent(event);
    else
        QWidget::showEvent(event);
}

void DesignView::hideEvent(QHideEvent *event)
{
    if (d->made)
        QWebEngineView::hideEvent(event);
    else
        QWidget::hideEvent(event);
}

void DesignView::closeEvent(QCloseEvent *event)
{
    if (d->made)
        QWebEngineView::closeEvent(event);
    else
        QWidget::closeEvent(event);
}

void DesignView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QWebEngineContextMenuRequest *request = lastContextMenuRequest();
    QAction *first = menu->actions().isEmpty() ? nullptr : menu->actions().first();
    // The suggestions come first, as in any word processor (WebEngine's own menu may
    // have them already).
    const bool listed = request && !request->spellCheckerSuggestions().isEmpty() && first &&
                        first->text() == request->spellCheckerSuggestions().first();
    if (request && request->isContentEditable() && !request->misspelledWord().isEmpty() && !listed) {
        const QStringList suggestions = request->spellCheckerSuggestions();
        for (const QString &word : suggestions) {
            auto *action = new QAction(word, menu);
            QFont bold = action->font();
            bold.setBold(true);
            action->setFont(bold);
            connect(action, &QAction::triggered, this, [this, word] {
                d->page()->replaceMisspelledWord(word);
                d->dirty = true;
                emit documentChanged();
            });
            menu->insertAction(first, action);
        }
        if (suggestions.isEmpty()) {
            auto *none = new QAction(QStringLiteral("No suggestions"), menu);
            none->setEnabled(false);
            menu->insertAction(first, none);
        }
        menu->insertSeparator(first);
    }
    const QStringList languages = spellingLanguages();
    if (languages.size() > 1) {
        QMenu *choice = menu->addMenu(QStringLiteral("Spelling Language"));
        for (const QString &language : languages) {
            QAction *action = choice->addAction(language);
            action->setCheckable(true);
            action->setChecked(language == spellingLanguage());
            connect(action, &QAction::triggered, this, [this, language] { setSpellingLanguage(language); });
        }
    }
    emit contextMenuShown(menu);
    menu->popup(event->globalPos());
}

} // namespace platform
