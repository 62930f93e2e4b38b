#pragma once
// Small helpers shared by the tests: folders, files and local servers.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

namespace testing_support {

QString sourceDir(); // the checkout (templates/, sites/, tests/)
QString binaryDir(); // the build tree

// The Debian python with the test servers' modules (pyftpdlib); a pyenv python
// earlier on PATH lacks them.
QString systemPython();

QByteArray readAll(const QString &path);
bool writeAll(const QString &path, const QByteArray &bytes);

// A helper process (usually a Python server script) that prints a line
// "READY <port>" when it listens; killed when this object goes.
class ServerProcess {
public:
    ServerProcess(const QString &program, const QStringList &arguments);
    ~ServerProcess();
    // Waits up to `timeoutMs` for the READY line; false when it never came.
    bool start(int timeoutMs = 10000);
    int port() const { return m_port; }
    QByteArray output() const;
    void stop();

private:
    std::unique_ptr<QProcess> m_process;
    QString m_program;
    QStringList m_arguments;
    int m_port = 0;
    QByteArray m_buffer;
};

} // namespace testing_support
