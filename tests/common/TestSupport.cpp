#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace testing_support {

QString sourceDir()
{
    return QStringLiteral(QUILLMARK_SOURCE_DIR);
}
QString binaryDir()
{
    return QStringLiteral(QUILLMARK_BINARY_DIR);
}

QString systemPython()
{
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                 : QStringLiteral("python3");
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

ServerProcess::ServerProcess(const QString &program, const QStringList &arguments)
    : m_program(program), m_arguments(arguments)
{
}

ServerProcess::~ServerProcess()
{
    stop();
}

bool ServerProcess::start(int timeoutMs)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(m_program, m_arguments);
    if (!m_process->waitForStarted(timeoutMs))
        return false;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!m_process->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        m_buffer += m_process->readAll();
        // Only whole lines count: a port number may arrive in two pieces.
        const QByteArray complete = m_buffer.left(m_buffer.lastIndexOf('\n') + 1);
        for (const QByteArray &line : complete.split('\n')) {
            if (line.startsWith("READY ")) {
                m_port = line.mid(6).trimmed().toInt();
                return m_port > 0;
            }
        }
    }
    return false;
}

QByteArray ServerProcess::output() const
{
    return m_process ? m_buffer + m_process->readAll() : m_buffer;
}

void ServerProcess::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
    m_process.reset();
}

} // namespace testing_support
