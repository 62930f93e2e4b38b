#pragma once
// The update query without a window: addresses, the answer and the version rule.

#include <QString>
#include <QTime>

namespace desktop {

inline const QString kProgramVersion = QStringLiteral("1.0.0");
inline const QString kCheckFailedMessage =
    QStringLiteral("Could not connect to the update server. Please try again later.");

// Upper bound on waiting for the version answer, so start-up never hangs.
constexpr int kUpdateFetchTimeoutMs = 5000;

// Base address below which getversion.php and getupdate.php live. Order: the value
// set here, else the environment variable QUILLMARK_UPDATE_SERVER, else the build
// setting. Always ends with "/".
QString updateServer();
void setUpdateServer(const QString &baseAddress); // "" restores the default

// "&r=" value: seconds since local midnight as a single-precision number's text.
QString SecondsSinceMidnightText(const QTime &time);

// base + "getversion.php?v=1.0.0&wm=1&r=<seconds>&user=<machine id>", values
// percent-encoded.
QString VersionQueryUrl(const QString &base, const QString &machineId, const QString &seconds);
QString UpdatePageUrl(const QString &base, const QString &machineId, const QString &seconds);

// A dotted version read as one number with its dots removed ("1.0.1" -> 101);
// empty gives 0; -1 when it is not a 16-bit number.
int VersionNumber(const QString &version);

enum class UpdateAnswer {
    Newer,      // the server names a newer version
    NotNewer,   // equal, older, or a version field that is not a number
    Unreadable, // not three "||"-separated fields
};
UpdateAnswer ParseVersionAnswer(const QString &answer);

} // namespace desktop
