#pragma once
// A transport that keeps a server's files in memory and records every command.

#include "publish/transport/Transport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <map>
#include <set>

namespace publish_testing {

struct MemoryServer {
    std::map<QString, QByteArray> files; // remote path below the remote folder
    std::set<QString> folders{""};
    QStringList commands;
    QString failPut;        // a remote path whose sends fail
    bool namesOnly = false; // listings without sizes
    QString password;       // when set, any other password is refused
    bool mkdirRefused = false, renameRefused = false;
    int failAll = 0;  // every command fails with this code (a server gone away)
    int busyMs = 0;   // each command takes this long, as over a slow network
    int timeout = -1; // the request timeout of the last command
};

class MemoryTransport : public transport::Transport {
public:
    explicit MemoryTransport(MemoryServer &s) : m_s(s) {}
    void Execute(const QString &op) override
    {
        m_s.commands << QString(op).replace(QChar(0), '|');
        m_s.timeout = RequestTimeout;
        m_code = 0;
        m_out.clear();
        m_started.start();
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
    bool StillExecuting() const override { return m_started.elapsed() < m_s.busyMs; }
    int ResponseCode() const override { return m_code; }
    QString ResponseInfo() const override { return m_info; }
    QString GetChunk(int size) override
    {
        QString piece = m_out.left(size);
        m_out.remove(0, piece.size());
        return piece;
    }

private:
    MemoryServer &m_s;
    int m_code = 0;
    QString m_info;
    QString m_out;
    QElapsedTimer m_started;
};

} // namespace publish_testing
