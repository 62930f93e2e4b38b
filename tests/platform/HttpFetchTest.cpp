// The one HTTP GET of the program (update check, live-page check) against a server in
// this process that answers, fails, overflows or trickles as each case needs.
#include "platform/HttpFetch.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

// Answers each connection with `answer`; with `trickle`, one byte of a never-ending
// body every 50 ms after the header.
class TinyServer {
public:
    explicit TinyServer(QByteArray answer, bool trickle = false) : m_answer(std::move(answer))
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this, trickle] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, trickle] {
                    if (!s->readAll().contains("\r\n\r\n") || s->property("answered").toBool())
                        return;
                    s->setProperty("answered", true);
                    s->write(m_answer);
                    if (!trickle)
                        return s->disconnectFromHost();
                    auto *drip = new QTimer(s);
                    QObject::connect(drip, &QTimer::timeout, s, [s] { s->write("x"); });
                    drip->start(50);
                });
            }
        });
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/v").arg(m_server.serverPort())); }

private:
    QTcpServer m_server;
    QByteArray m_answer;
};

struct Outcome {
    bool ok = false;
    QByteArray body;
    qint64 ms = 0;
};

Outcome fetch(platform::HttpFetch &f, const QUrl &url, int timeoutMs, qint64 maxBytes = 1 << 20)
{
    Outcome o;
    int finished = 0;
    QEventLoop loop;
    const QMetaObject::Connection c =
        QObject::connect(&f, &platform::HttpFetch::finished, [&](bool ok, const QByteArray &body) {
            ++finished;
            o.ok = ok;
            o.body = body;
            loop.quit();
        });
    QTimer::singleShot(timeoutMs + 5000, &loop, &QEventLoop::quit); // the test's own limit
    QElapsedTimer clock;
    clock.start();
    f.start(url, timeoutMs, maxBytes);
    if (finished == 0)
        loop.exec();
    o.ms = clock.elapsed();
    QObject::disconnect(c);
    EXPECT_EQ(finished, 1);
    return o;
}

} // namespace

TEST(HttpFetch, AnswersFailuresAndTheirReasons)
{
    platform::HttpFetch f;
    TinyServer good("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\n1.2.3");
    Outcome o = fetch(f, good.url(), 20000);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.body, "1.2.3");
    EXPECT_EQ(f.status(), 200);
    EXPECT_TRUE(f.errorText().isEmpty()) << f.errorText().toStdString();
    EXPECT_EQ(platform::fetchUrl(good.url(), 20000).value_or("none"), "1.2.3");

    TinyServer missing("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\nConnection: close\r\n\r\ngone");
    o = fetch(f, missing.url(), 20000);
    EXPECT_FALSE(o.ok);
    EXPECT_TRUE(o.body.isEmpty());
    EXPECT_EQ(f.status(), 404);
    EXPECT_EQ(f.reason(), "Not Found");
    EXPECT_FALSE(f.errorText().isEmpty());
    EXPECT_FALSE(platform::fetchUrl(missing.url(), 20000));

    // More than the caller takes is a failure, not a cut body.
    TinyServer big("HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\n0123456789");
    o = fetch(f, big.url(), 20000, 9);
    EXPECT_FALSE(o.ok);
    EXPECT_TRUE(o.body.isEmpty());
    EXPECT_EQ(fetch(f, big.url(), 20000, 10).body, "0123456789");
}

// A reserved name fails at once, with its own reason; a server that trickles a body
// forever is given up at the deadline, although each byte restarts Qt's own time-out.
TEST(HttpFetch, ReservedNamesFailAtOnceAndTricklesAtTheDeadline)
{
    platform::HttpFetch f;
    Outcome o = fetch(f, QUrl("http://updates.invalid/v"), 60000);
    EXPECT_FALSE(o.ok);
    EXPECT_LT(o.ms, 5000) << "waited for the time-out";
    EXPECT_EQ(f.errorText(), "not a usable address");

    TinyServer trickler("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", true);
    o = fetch(f, trickler.url(), 1500);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(f.errorText(), "no answer in time");
    EXPECT_GT(f.received(), 0) << "the trickle never arrived";
}
