#include "desktop/frmCheck4Updates.h"

#include "desktop/basGetHDDSerial.h"
#include "platform/HttpFetch.h"
#include "platform/widgets/BrowserView.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace desktop {
namespace {

frmCheck4Updates *g_instance = nullptr;

std::function<void()> &mainWindowShower()
{
    static std::function<void()> shower;
    return shower;
}

const QString kCaption = QStringLiteral("Checking Updates for Quillmark");
const QString kWelcomePage = QStringLiteral(
    "about:<center><font face='Tahoma'><br><br><h1>Welcome to Quillmark</h1><br><br>Please wait while we "
    "check for new updates from the server.<br><br>You can hit CLOSE to load the main form.");

// The welcome page is for a check that takes a while: a quick answer closes the window
// before anyone could read it, and the page would start the web engine ahead of the
// main window.
constexpr int kWelcomeAfterMs = 250;

QString secondsNow()
{
    return SecondsSinceMidnightText(QTime::currentTime());
}

} // namespace

frmCheck4Updates *frmCheck4Updates::load(QWidget *parent)
{
    if (g_instance) {
        g_instance->show();
        g_instance->raise();
        return g_instance;
    }
    g_instance = new frmCheck4Updates(parent);
    g_instance->Form_Load();
    return g_instance;
}

frmCheck4Updates *frmCheck4Updates::instance()
{
    return g_instance;
}

void frmCheck4Updates::setMainWindowShower(std::function<void()> shower)
{
    mainWindowShower() = std::move(shower);
}

frmCheck4Updates::frmCheck4Updates(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmCheck4Updates"));
    resize(520, 420);

    Label15 = new QLabel(QStringLiteral("Checking for updates"), this);
    Label15->setObjectName(QStringLiteral("Label15"));
    QFont bold = Label15->font();
    bold.setBold(true);
    Label15->setFont(bold);
    Label1 = new QLabel(QStringLiteral("Kindly make sure that you are connected to the internet."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    m_browserArea = new QWidget(this);
    (new QVBoxLayout(m_browserArea))->setContentsMargins(0, 0, 0, 0);
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    // The check starts as soon as the window is up: the main window waits for it.
    Timer1->setInterval(0);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label15);
    layout->addWidget(Label1);
    layout->addWidget(m_browserArea, 1);
    layout->addLayout(buttons);

    connect(Timer1, &QTimer::timeout, this, &frmCheck4Updates::Timer1_Timer);
    connect(cmdClose, &QPushButton::clicked, this, &frmCheck4Updates::cmdClose_Click);
}

frmCheck4Updates::~frmCheck4Updates()
{
    if (g_instance == this)
        g_instance = nullptr;
}

void frmCheck4Updates::Form_Load()
{
    show();
    setWindowTitle(kCaption);
    QTimer::singleShot(kWelcomeAfterMs, this, [this] {
        if (!CheckDone)
            browser()->Navigate(kWelcomePage);
    });
    Timer1->start();
    UpdateFound = false;
    CheckDone = false;
    if (parentWidget())
        setWindowIcon(parentWidget()->windowIcon());
}

platform::BrowserView *frmCheck4Updates::browser()
{
    if (!WebBrowser1) {
        WebBrowser1 = new platform::BrowserView(m_browserArea);
        WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
        m_browserArea->layout()->addWidget(WebBrowser1);
    }
    return WebBrowser1;
}

void frmCheck4Updates::Timer1_Timer()
{
    Timer1->stop(); // one check per load
    m_fetch = new platform::HttpFetch(this);
    connect(m_fetch, &platform::HttpFetch::finished, this, &frmCheck4Updates::checkAnswered);
    m_fetch->start(QUrl(VersionQueryUrl(updateServer(), g_sMachineID, secondsNow())), m_fetchTimeoutMs);
}

void frmCheck4Updates::checkAnswered(bool ok, const QByteArray &body)
{
    // A failed fetch takes the same road as an answer that cannot be understood.
    const QString answer = ok ? QString::fromLocal8Bit(body) : QString();
    switch (ParseVersionAnswer(answer)) {
    case UpdateAnswer::Newer:
        UpdateFound = true;
        browser()->Navigate(UpdatePageUrl(updateServer(), g_sMachineID, secondsNow()));
        break;
    case UpdateAnswer::NotNewer:
        CheckDone = true;
        unload();
        return;
    case UpdateAnswer::Unreadable:
        CheckMessage = kCheckFailedMessage;
        Label15->setText(CheckMessage);
        break;
    }
    CheckDone = true;
}

void frmCheck4Updates::cmdClose_Click()
{
    if (WebBrowser1)
        WebBrowser1->Stop();
    unload();
}

void frmCheck4Updates::reject()
{
    unload();
}

void frmCheck4Updates::closeEvent(QCloseEvent *event)
{
    event->accept();
    unload();
}

void frmCheck4Updates::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    Timer1->stop();
    if (m_fetch)
        m_fetch->abort();
    CheckDone = true; // an unfinished check ends with the window: nobody may wait on it
    if (g_instance == this)
        g_instance = nullptr;
    if (mainWindowShower())
        mainWindowShower()();
    hide();
    deleteLater();
}

} // namespace desktop
