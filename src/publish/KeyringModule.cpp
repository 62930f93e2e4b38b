// The desktop's keyring as a module of its own: qtkeychain, Qt D-Bus and the libraries
// under them load only when a password is looked up or kept there, not for a publish
// that is given its password.
#include "publish/SecretStore.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace publish {

namespace {

// The keyring entries' service: what the keyring's own window lists them under.
const QString kService = QStringLiteral("Quillmark");

class DesktopKeyringStore final : public SecretStore {
public:
    explicit DesktopKeyringStore(int timeoutMs) : m_timeoutMs(timeoutMs) {}

    SecretResult read(const QString &key) override
    {
        return run(new QKeychain::ReadPasswordJob(kService), key);
    }
    SecretResult write(const QString &key, const QString &secret) override
    {
        auto *job = new QKeychain::WritePasswordJob(kService);
        job->setTextData(secret);
        return run(job, key);
    }
    SecretResult remove(const QString &key) override
    {
        return run(new QKeychain::DeletePasswordJob(kService), key);
    }

private:
    SecretResult run(QKeychain::Job *job, const QString &key)
    {
        // The job deletes itself once finished, so one that is still waiting when
        // time is up may finish later without us.
        job->setKey(key);
        job->setAutoDelete(true);
        // Never a plain-text file in place of the keyring: that choice is the user's.
        job->setInsecureFallback(false);
        SecretResult result;
        result.reason =
            QStringLiteral("the keyring did not answer within %1 seconds").arg(m_timeoutMs / 1000);
        bool finished = false;
        QEventLoop loop;
        QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job *done) {
            finished = true;
            switch (done->error()) {
            case QKeychain::NoError:
                result.status = SecretStatus::Ok;
                if (auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(done))
                    result.secret = read->textData();
                break;
            case QKeychain::EntryNotFound:
                result.status = SecretStatus::NoEntry;
                break;
            default:
                result.status = SecretStatus::NoKeyring;
                result.reason = done->errorString();
                break;
            }
            loop.quit();
        });
        QTimer::singleShot(m_timeoutMs, &loop, &QEventLoop::quit);
        job->start();
        if (!finished)
            loop.exec();
        return result;
    }

    int m_timeoutMs;
};

} // namespace

} // namespace publish

extern "C" Q_DECL_EXPORT publish::SecretStore *quillmark_desktop_keyring(int timeoutMs)
{
    return new publish::DesktopKeyringStore(timeoutMs);
}
