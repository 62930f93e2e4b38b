#pragma once
// Small helpers shared by the tests: folders, files and local servers.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

namespace testing_support {

inline QString sourceDir() // the checkout (templates/, sites/, tests/)
{
    return QStringLiteral(QUILLMARK_SOURCE_DIR);
}
inline QString binaryDir() // the build tree
{
    return QStringLiteral(QUILLMARK_BINARY_DIR);
}

// The Debian python with the test servers' modules (pyftpdlib); a pyenv python
// earlier on PATH lacks them.
inline QString systemPython()
{
    return QFileInfo::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

// Runs the event loop until predicate() holds or timeoutMs have passed. Not
// QTest::qWaitFor: that sleeps 10 ms between passes, and WebEngine's browser side runs
// on this thread, so each of its steps waits out a sleep (a page load took 1.4 s, not 10 ms).
template <typename Predicate> [[nodiscard]] bool waitFor(Predicate predicate, int timeoutMs = 5000)
{
    if (predicate())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QTimer tick; // wakes the loop to look again when no event comes
    tick.start(5);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (predicate())
            return true;
    }
    return predicate();
}

// Runs the event loop for ms milliseconds.
inline void wait(int ms)
{
    (void)waitFor([] { return false; }, ms);
}

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A helper process (usually a Python server script) that prints a line
// "READY <port>" when it listens; killed when this object goes.
class ServerProcess {
public:
    ServerProcess(const QString &program, const QStringList &arguments)
        : m_program(program), m_arguments(arguments)
    {
    }
    ~ServerProcess() { stop(); }

    // Waits up to `timeoutMs` for the READY line; false when it never came.
    bool start(int timeoutMs = 10000)
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->start(m_program, m_arguments);
        if (!m_process->waitForStarted(timeoutMs))
            return false;
        for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired();) {
            if (!m_process->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                break;
            m_buffer += m_process->readAll();
            // Only whole lines count: a port number may arrive in two pieces.
            for (const QByteArray &line : m_buffer.left(m_buffer.lastIndexOf('\n') + 1).split('\n'))
                if (line.startsWith("READY "))
                    return (m_port = line.mid(6).trimmed().toInt()) > 0;
        }
        return false;
    }
    int port() const { return m_port; }
    // What the process has printed so far, including what still waits in the pipe.
    QByteArray output() const
    {
        if (!m_process)
            return m_buffer;
        while (m_process->waitForReadyRead(0)) {
        }
        return m_buffer + m_process->readAll();
    }
    void stop()
    {
        if (m_process && m_process->state() != QProcess::NotRunning) {
            m_process->terminate();
            if (!m_process->waitForFinished(3000)) {
                m_process->kill();
                m_process->waitForFinished(3000);
            }
        }
        m_process.reset();
    }

private:
    std::unique_ptr<QProcess> m_process;
    QString m_program;
    QStringList m_arguments;
    int m_port = 0;
    QByteArray m_buffer;
};

} // namespace testing_support
