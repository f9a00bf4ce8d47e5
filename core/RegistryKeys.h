#pragma once

#include <QString>
#include <QStringList>

// Where the program's settings live in the registry, apart from the registry routines so that the
// platform layer and the tests on every system read the same names.
namespace tarsel {

// Where the window keeps its two paths, under the values "RunningVersionLocation" (the target) and
// "NewVersionLocation" (the source).
inline const QString SettingsKeyPath =
    QStringLiteral("Software\\VB and VBA Program Settings\\Ombrix\\GeneralControl");
inline const QString RunningVersionLocation = QStringLiteral("RunningVersionLocation");
inline const QString NewVersionLocation = QStringLiteral("NewVersionLocation");

// Where Group Policy presets those values on Windows, under the same names: below
// HKEY_LOCAL_MACHINE for the computer and below HKEY_CURRENT_USER for the user. The
// administrative templates in packaging/windows/policy name this key and these values alone.
inline const QString PolicyKeyPath = QStringLiteral("Software\\Policies\\Ombrix\\TarselCopyFile");
inline const QStringList PolicyValueNames = {NewVersionLocation, RunningVersionLocation};

// The public keys whose signatures a release must carry, blank-separated: the computer's policy
// alone on Windows (under PolicyKeyPath below HKEY_LOCAL_MACHINE), the presets on Linux, never the
// user's own store, so that neither the user nor a writer of the share can take them away.
inline const QString TrustedKeys = QStringLiteral("TrustedKeys");

// What the computer's policy (the presets on Linux) sets of a tarselcopy run, under PolicyKeyPath
// below HKEY_LOCAL_MACHINE alone: the log file, "1" or "0" for --if-changed and --end-access, the
// seconds of --random-delay, the N[:SECONDS] of --retry. Each one, TrustedKeys too, wins over the
// command line unless its value NAME + CommandLineSuffix is "1".
inline const QString LogFilePolicy = QStringLiteral("LogFile");
inline const QString IfChangedPolicy = QStringLiteral("IfChanged");
inline const QString EndAccessPolicy = QStringLiteral("EndAccess");
inline const QString RandomDelayPolicy = QStringLiteral("RandomDelay");
inline const QString RetryPolicy = QStringLiteral("Retry");
inline const QStringList RunPolicyNames = {LogFilePolicy, IfChangedPolicy, EndAccessPolicy,
                                           RandomDelayPolicy, RetryPolicy};
inline const QString CommandLineSuffix = QStringLiteral("CommandLine");

// Where this user's store keeps, per file, the highest signed release put into service there and
// the highest number signed for a master: value names are the files' paths.
inline const QString ReleasesInServiceKeyPath =
    QStringLiteral("Software\\VB and VBA Program Settings\\Ombrix\\ReleasesInService");
inline const QString ReleasesSignedKeyPath =
    QStringLiteral("Software\\VB and VBA Program Settings\\Ombrix\\ReleasesSigned");

} // namespace tarsel
