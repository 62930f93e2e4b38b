#pragma once
// Server passwords kept in the desktop's keyring (the Secret Service on Linux) rather
// than in ftpinfo.ini. Each call waits, processing events, like the engine's commands.

#include <QString>
#include <memory>

namespace publish {

// NoKeyring: nothing could be asked or stored (no session bus, no Secret Service, a
// locked keyring the user did not open, no answer in time). NoEntry: the keyring
// answered and holds nothing under the key.
enum class SecretStatus { Ok, NoEntry, NoKeyring };

struct SecretResult {
    SecretStatus status = SecretStatus::NoKeyring;
    QString secret; // what read() found
    QString reason; // NoKeyring: why, in the keyring's own words
};

class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual SecretResult read(const QString &key) = 0;
    // Ok only once the keyring has confirmed that it holds the secret.
    virtual SecretResult write(const QString &key, const QString &secret) = 0;
    virtual SecretResult remove(const QString &key) = 0;
};

// The desktop's keyring through qtkeychain. A keyring that has not answered within
// `timeoutMs` (waiting on a prompt no one sees, say) counts as none.
std::unique_ptr<SecretStore> DesktopKeyring(int timeoutMs);

} // namespace publish
