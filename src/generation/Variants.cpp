#include "generation/Variants.h"

#include "generation/TemplateLanguage.h"
#include "generation/modTemplates.h"

#include <QRegularExpression>
#include <QUrl>

namespace generation {
namespace {

const QString kTemplateOpen = QStringLiteral("<template id=\"qm-variant-b\">");
const QString kSiteOpen = QStringLiteral("<span data-ab=\"a\">");
const QString kSiteCall = QStringLiteral("</span><script>qmAB(");
const QString kSiteEnd = QStringLiteral(")</script>");
const QString kPieceOpen = QStringLiteral("<span data-ab=\"b\" data-ab-id=\"");

bool given(const QString &answer)
{
    return !answer.trimmed().isEmpty();
}

// Where the page's body starts: text before it (the title, the head's data) stays version A's.
qsizetype bodyStart(const QString &page)
{
    const qsizetype head = page.indexOf(QLatin1String("</head"), 0, Qt::CaseInsensitive);
    const qsizetype body =
        page.indexOf(QLatin1String("<body"), qMax<qsizetype>(head, 0), Qt::CaseInsensitive);
    if (body >= 0)
        return body;
    return head >= 0 ? head : 0;
}

QString jsonText(const QString &text)
{
    return QLatin1Char('"') + EscapeJsonString(text) + QLatin1Char('"');
}

// A link's address as the script compares it: "\/" for "/", so that the page check does
// not read the links the page only recognises as hosts it contacts.
QString linkText(const QString &address)
{
    return jsonText(address).replace(QLatin1Char('/'), QLatin1String("\\/"));
}

const QRegularExpression &domainPattern()
{
    static const QRegularExpression re(QStringLiteral(
        R"(^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)+$)"));
    return re;
}

const QRegularExpression &idPattern()
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9-]{1,64}$"));
    return re;
}

// An absolute http(s) address with a host, as typed; "" otherwise.
QString webAddress(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return text;
}

} // namespace

// --- Versions ---

bool TriesVariantB(const PageData &data)
{
    return data.chkTryVariantB.trimmed() == QLatin1String("1");
}

PageData VariantBAnswers(const PageData &data)
{
    PageData b = data;
    if (given(data.txtOneLinerB))
        b.txtOneLiner = data.txtOneLinerB;
    if (given(data.txtButtonTextB))
        b.txtButtonText = data.txtButtonTextB;
    if (given(data.txtSpecialPriceB))
        b.txtSpecialPrice = data.txtSpecialPriceB;
    b.chkTryVariantB.clear();
    b.txtOneLinerB.clear();
    b.txtButtonTextB.clear();
    b.txtSpecialPriceB.clear();
    return b;
}

void KeepVariant(PageData &data, char which)
{
    if (which == 'b') {
        data = VariantBAnswers(data);
        return;
    }
    data.chkTryVariantB.clear();
    data.txtOneLinerB.clear();
    data.txtButtonTextB.clear();
    data.txtSpecialPriceB.clear();
}

QString OrderLinkWords(const QString &buttonText)
{
    return given(buttonText) ? buttonText : QStringLiteral("Click here to order now");
}

QString VariantSites::site(const QString &a, const QString &b)
{
    if (!m_on || a == b)
        return a;
    qsizetype id = m_sites.indexOf(qMakePair(a, b));
    if (id < 0) {
        id = m_sites.size();
        m_sites.append(qMakePair(a, b));
    }
    return kSiteOpen + a + kSiteCall + QString::number(id + 1) + kSiteEnd;
}

QString VariantSites::templateElement() const
{
    if (m_sites.isEmpty())
        return {};
    QString out = kTemplateOpen;
    for (qsizetype i = 0; i < m_sites.size(); ++i) {
        // A B text that closed the template early would show itself to everyone.
        static const QRegularExpression close(QStringLiteral("</(template)"),
                                              QRegularExpression::CaseInsensitiveOption);
        QString b = m_sites[i].second;
        b.replace(close, QStringLiteral("&lt;/\\1"));
        out += kPieceOpen + QString::number(i + 1) + QStringLiteral("\">") + b + QStringLiteral("</span>");
    }
    return out + QStringLiteral("</template>");
}

QString VariantHead()
{
    // Runs before the body is parsed: the version is known before anything is painted,
    // the style hides A's texts for B's visitors, and qmAB(n), right after each A text,
    // puts B's text in its place while the page is still being read. "?variant=a|b"
    // shows one version without changing the visitor's own.
    return QStringLiteral(
        "<style>html[data-variant=b] [data-ab=a]{display:none}</style>"
        "<script>(function(){var v,k='qm-variant:'+location.pathname,"
        "m=/[?&]variant=([ab])(?:&|$)/i.exec(location.search);"
        "if(m){v=m[1].toLowerCase()}else{try{v=localStorage.getItem(k)}catch(e){}"
        "if(v!=='a'&&v!=='b'){v=Math.random()<0.5?'a':'b';try{localStorage.setItem(k,v)}catch(e){}}}"
        "document.documentElement.setAttribute('data-variant',v);"
        "window.qmAB=function(n){var s=document.currentScript,t=document.getElementById('qm-variant-b'),"
        "b=t&&t.content.querySelector('[data-ab-id=\"'+n+'\"]');"
        "if(v==='b'&&s&&b)s.parentNode.insertBefore(b.cloneNode(true),s)}})();</script>");
}

QString VariantToken(const QString &name)
{
    // Noncharacters: no template writes them, and values placed in tags escape them.
    return QChar(0xFDD3) + name + QChar(0xFDD1);
}

QString MarkVariantPlaceholders(const QString &page, const QStringList &placeholders)
{
    const qsizetype start = bodyStart(page);
    QString body = page.mid(start);
    for (const QString &name : placeholders)
        body = ReplaceAll(body, QLatin1Char('<') + name + QLatin1Char('>'), VariantToken(name));
    return page.left(start) + body;
}

QString AddVariantMarkup(const QString &page, const VariantSites &sites)
{
    QString out = page;
    const qsizetype head = out.indexOf(QLatin1String("</head>"), 0, Qt::CaseInsensitive);
    if (head < 0)
        return out; // no head to run the choice in: everyone sees A
    out.insert(head, VariantHead());
    const QString pieces = sites.templateElement();
    if (pieces.isEmpty())
        return out;
    const qsizetype body = out.indexOf(QLatin1String("<body"), head, Qt::CaseInsensitive);
    const qsizetype bodyEnd = body < 0 ? -1 : out.indexOf(QLatin1Char('>'), body);
    // Before the first A text, so that each qmAB(n) finds its B text already read.
    out.insert(bodyEnd < 0 ? head + VariantHead().size() + 7 : bodyEnd + 1, pieces);
    return out;
}

QString ShowVariant(const QString &page, char which)
{
    const qsizetype open = page.indexOf(kTemplateOpen);
    QStringList pieces;
    QString out = page;
    if (open >= 0) {
        const qsizetype contentStart = open + kTemplateOpen.size();
        const qsizetype close = page.indexOf(QLatin1String("</template>"), contentStart);
        if (close < 0)
            return page;
        const QString content = page.mid(contentStart, close - contentStart);
        for (qsizetype at = content.indexOf(kPieceOpen); at >= 0;) {
            const qsizetype textStart = content.indexOf(QLatin1String("\">"), at) + 2;
            const qsizetype next = content.indexOf(kPieceOpen, textStart);
            const qsizetype textEnd = (next < 0 ? content.size() : next) - 7; // "</span>"
            pieces << content.mid(textStart, textEnd - textStart);
            at = next;
        }
        out.remove(open, close + 11 - open);
    }
    out = ReplaceAll(out, VariantHead(), QString());
    QString shown;
    qsizetype from = 0;
    for (qsizetype at = out.indexOf(kSiteOpen); at >= 0; at = out.indexOf(kSiteOpen, from)) {
        const qsizetype call = out.indexOf(kSiteCall, at);
        const qsizetype end = call < 0 ? -1 : out.indexOf(kSiteEnd, call);
        if (end < 0)
            break;
        bool number = false;
        const int id =
            QStringView(out).mid(call + kSiteCall.size(), end - call - kSiteCall.size()).toInt(&number);
        shown += QStringView(out).mid(from, at - from);
        if (which == 'b' && number && id >= 1 && id <= pieces.size())
            shown += pieces[id - 1];
        else
            shown += QStringView(out).mid(at + kSiteOpen.size(), call - at - kSiteOpen.size());
        from = end + kSiteEnd.size();
    }
    shown += QStringView(out).mid(from);
    return shown;
}

// --- Counting ---

QStringList CountingNames()
{
    return {QStringLiteral("none"), QStringLiteral("plausible"), QStringLiteral("umami"),
            QStringLiteral("goatcounter"), QStringLiteral("endpoint")};
}

Counting CountingService(const PageData &data)
{
    switch (CountingNames().indexOf(data.cmbCounting.trimmed().toLower())) {
    case 1:
        return Counting::Plausible;
    case 2:
        return Counting::Umami;
    case 3:
        return Counting::GoatCounter;
    case 4:
        return Counting::Endpoint;
    default:
        return Counting::None;
    }
}

QString CountingAddress(const PageData &data)
{
    const QString given = data.txtCountingAddress.trimmed();
    switch (CountingService(data)) {
    case Counting::None:
        return {};
    case Counting::Plausible:
        return domainPattern().match(given).hasMatch() ? QStringLiteral("https://plausible.io/api/event")
                                                       : QString();
    case Counting::Umami:
        return idPattern().match(given).hasMatch() ? QStringLiteral("https://cloud.umami.is/api/send")
                                                   : QString();
    case Counting::GoatCounter:
        if (idPattern().match(given).hasMatch())
            return QStringLiteral("https://%1.goatcounter.com/count").arg(given.toLower());
        return webAddress(given);
    case Counting::Endpoint:
        // An address on the page's own site ("/count") contacts no other host at all.
        if (given.startsWith(QLatin1Char('/')) && !given.startsWith(QLatin1String("//")) &&
            QUrl(given, QUrl::StrictMode).isValid())
            return given;
        return webAddress(given);
    }
    return {};
}

QString CountingScript(const PageData &data)
{
    const QString address = CountingAddress(data);
    if (address.isEmpty())
        return {};
    const QString site = jsonText(data.txtCountingAddress.trimmed());
    QString send;
    switch (CountingService(data)) {
    case Counting::Plausible:
        send = QStringLiteral(
                   "navigator.sendBeacon(A,JSON.stringify({name:e,url:location.origin+location.pathname,"
                   "domain:%1,props:{variant:v}}))")
                   .arg(site);
        break;
    case Counting::Umami:
        send = QStringLiteral(
                   "var p={website:%1,hostname:location.hostname,url:location.pathname,data:{variant:v}};"
                   "if(e!=='pageview')p.name=e;fetch(A,{method:'POST',keepalive:true,"
                   "headers:{'Content-Type':'application/json'},"
                   "body:JSON.stringify({type:'event',payload:p})}).catch(function(){})")
                   .arg(site);
        break;
    case Counting::GoatCounter:
        send = QStringLiteral("var "
                              "q=e==='pageview'?'p='+encodeURIComponent(location.pathname)+'&t='+"
                              "encodeURIComponent('version '+v)"
                              ":'p='+encodeURIComponent(e+'-'+v)+'&e=true';navigator.sendBeacon(A+'?'+q)");
        break;
    case Counting::Endpoint:
        send = QStringLiteral(
            "navigator.sendBeacon(A,JSON.stringify({event:e,variant:v,page:location.pathname}))");
        break;
    case Counting::None:
        return {};
    }
    // The links that count as order and trial clicks, as the browser resolves them.
    QStringList order;
    const QString purchase = data.txtPurchaseURL;
    const QString head = purchase.left(8).toUpper();
    if (head.startsWith(QLatin1String("HTTP://")) || head == QLatin1String("HTTPS://"))
        order << linkText(purchase);
    else if (purchase.indexOf(QLatin1Char('@')) > 0)
        order << linkText(QStringLiteral("mailto:") + purchase);
    const QString trial = given(data.txtDownloadURL) ? linkText(data.txtDownloadURL) : QString();
    // Sent after the page has loaded, and never in its way: any failure is dropped.
    return QStringLiteral(
               "<script>(function(){var A=%1,O=[%2],T=[%3];"
               "function abs(u){try{return new URL(u,location.href).href}catch(x){return ''}}"
               "O=O.map(abs);T=T.map(abs);"
               "function send(e){try{var "
               "v=document.documentElement.getAttribute('data-variant')||'a';%4}catch(x){}}"
               "function view(){send('pageview')}"
               "if(document.readyState==='complete')view();else addEventListener('load',view);"
               "document.addEventListener('click',function(ev){var a=ev.target&&ev.target.closest&&"
               "ev.target.closest('a[href]');if(!a)return;"
               "if(O.indexOf(a.href)>=0)send('order');else if(T.indexOf(a.href)>=0)send('trial')},true)})();"
               "</script>")
        .arg(jsonText(address), order.join(QLatin1Char(',')), trial, send);
}

} // namespace generation
