#include "publish/SecretStore.h"

#include "cli/ProgramModule.h"

namespace publish {

namespace {

// Without the keyring module every answer is that there is no keyring, and why.
class MissingKeyringStore final : public SecretStore {
public:
    explicit MissingKeyringStore(QString reason) : m_reason(std::move(reason)) {}
    SecretResult read(const QString &) override { return none(); }
    SecretResult write(const QString &, const QString &) override { return none(); }
    SecretResult remove(const QString &) override { return none(); }

private:
    SecretResult none() const { return {SecretStatus::NoKeyring, QString(), m_reason}; }
    QString m_reason;
};

} // namespace

std::unique_ptr<SecretStore> DesktopKeyring(int timeoutMs)
{
    using Make = SecretStore *(*)(int);
    static QString error;
    static const auto make = reinterpret_cast<Make>(
        cli::LoadProgramFunction(QStringLiteral("quillmark-keyring.so"), "quillmark_desktop_keyring", error));
    if (!make)
        return std::make_unique<MissingKeyringStore>(error);
    return std::unique_ptr<SecretStore>(make(timeoutMs));
}

} // namespace publish
