#pragma once
// A transport that keeps a server's files in memory and records every command.

#include "publish/transport/Transport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QVector>
#include <map>
#include <set>
#include <utility>

namespace publish_testing {

struct MemoryServer {
    std::map<QString, QByteArray> files; // remote path below the remote folder
    std::set<QString> folders{""};
    QStringList commands;
    QString failPut;        // a remote path whose sends fail
    bool namesOnly = false; // listings without sizes
    QString password;       // when set, any other password is refused
    bool mkdirRefused = false, renameRefused = false;
    int failAll = 0;              // every command fails with this code (a server gone away)
    int busyMs = 0;               // each command takes this long, as over a slow network
    std::map<QString, int> putMs; // remote path -> how long its send takes, if not busyMs
    int timeout = -1;             // the request timeout of the last command
    QElapsedTimer clock;
    QVector<qint64> startedAt; // ms on the clock, one a command
    MemoryServer() { clock.start(); }
};

class MemoryTransport : public transport::Transport {
public:
    explicit MemoryTransport(MemoryServer &s) : m_s(s) {}
    void Execute(const QString &op) override
    {
        m_s.commands << QString(op).replace(QChar(0), '|');
        m_s.startedAt << m_s.clock.elapsed();
        m_s.timeout = RequestTimeout;
        m_code = 0;
        m_out.clear();
        m_startMs = m_s.clock.elapsed();
        const auto slow = m_s.putMs.find(op.section(QChar(0), -1));
        m_busyMs = op.startsWith("Put") && slow != m_s.putMs.end() ? slow->second : m_s.busyMs;
        if (m_s.failAll || (!m_s.password.isEmpty() && Password != m_s.password)) {
            m_code = m_s.failAll ? m_s.failAll : transport::kTransportLoginFailed;
            m_info = "530 Login incorrect.";
            return;
        }
        const QStringList f = op.split(QChar(0));
        const QString verb = f[0].section(' ', 0, 0);
        if (verb == "CD") {
            m_code = op == "CD www" || m_s.folders.count(op.mid(3)) ? 0 : transport::kServerRefused;
        } else if (verb == "MKDIR") {
            if (m_s.mkdirRefused)
                m_code = transport::kServerRefused;
            else
                m_s.folders.insert(op.mid(6));
        } else if (f[0] == "List") {
            if (!m_s.folders.count(f[1])) {
                m_code = transport::kServerRefused;
                return;
            }
            const QString prefix = f[1].isEmpty() ? "" : f[1] + "/";
            for (const auto &[path, bytes] : m_s.files) {
                const QString name = path.mid(prefix.size());
                if (path.startsWith(prefix) && !name.contains('/'))
                    m_out += m_s.namesOnly ? name + "\r\n"
                                           : QString("type=file;size=%1; %2\r\n").arg(bytes.size()).arg(name);
            }
        } else if (f[0] == "Put") {
            QFile in(f[1]);
            if (f[2].endsWith(m_s.failPut) && !m_s.failPut.isEmpty()) {
                m_code = transport::kServerRefused;
                m_info = "553 Could not create file.";
            } else if (!m_s.folders.count(f[2].section('/', 0, -2)) && f[2].contains('/')) {
                m_code = transport::kServerRefused;
            } else if (in.open(QIODevice::ReadOnly)) {
                m_s.files[f[2]] = in.readAll();
                if (f.size() == 4 && m_s.renameRefused) {
                    m_code = transport::kTransportRenameRefused;
                } else if (f.size() == 4) {
                    m_s.files[f[3]] = m_s.files[f[2]];
                    m_s.files.erase(f[2]);
                }
            } else {
                m_code = transport::kTransportLocalFile;
            }
        } else if (f[0] == "Delete") {
            m_code = m_s.files.erase(f[1]) ? 0 : transport::kServerRefused;
        }
    }
    bool StillExecuting() const override { return m_s.clock.elapsed() < m_startMs + m_busyMs; }
    int ResponseCode() const override { return m_code; }
    QString ResponseInfo() const override { return m_info; }
    QString GetChunk(int size) override
    {
        QString piece = m_out.left(size);
        m_out.remove(0, piece.size());
        return piece;
    }
    // A queued command starts the moment the one under way ends well, as on a worker.
    bool ExecuteNext(const QString &op) override
    {
        if (!StillExecuting() || !m_next.isEmpty())
            return false;
        m_next = op;
        return true;
    }
    bool TakeNext() override
    {
        const qint64 startMs = m_startMs + m_busyMs;
        const QString op = std::exchange(m_next, QString());
        if (op.isEmpty() || m_code != 0)
            return false;
        Execute(op);
        m_startMs = m_s.startedAt.last() = startMs;
        return true;
    }
    bool WithdrawNext() override { return StillExecuting() && !std::exchange(m_next, QString()).isEmpty(); }

private:
    QString m_next;
    qint64 m_startMs = 0;
    int m_busyMs = 0;
    MemoryServer &m_s;
    int m_code = 0;
    QString m_info;
    QString m_out;
};

} // namespace publish_testing
