#pragma once

#include <QString>
#include <exception>

namespace tarsel {

// What went wrong, whatever system reported it. The code branches on the kind alone: a native
// code is only ever shown, since errno's and Win32's numbers overlap the run-time numbers and each
// other (Win32's 18 is no cancel, errno's 61 no full disk).
enum class ErrorKind {
    InvalidProcedureCall,
    DivisionByZero,
    TypeMismatch,
    UserInterrupt,
    FileNotFound,
    PathNotFound,
    DeviceIO,
    DiskFull,
    PermissionDenied,
    PathFileAccess,
    // The program's own.
    CopyDiffers,
    // A release's .sha256 that cannot be read as sha256sum writes it, or that names another file.
    BadChecksumFile,
    // The system's SHA-256 could not be set up or failed.
    DigestFailed,
    // The release is not as it was published: it changed while it was copied, it differs from its
    // published checksum, or it is empty.
    ReleaseChanged,
    ChecksumDiffers,
    ReleaseEmpty,
    // Release signatures (minisign's format). A release that should be signed has no signature;
    // its signature is by a key that is not trusted; the signature or the trusted comment does not
    // match; the signature file cannot be read as minisign writes it.
    ReleaseNotSigned,
    KeyNotTrusted,
    SignatureDiffers,
    BadSignatureFile,
    // A signed release older than the one in service, or as old with other bytes.
    ReleaseOlder,
    // A public or secret key that cannot be read as minisign writes it, and a secret key's
    // password that does not open it.
    BadKey,
    WrongPassword,
    // libsodium could not be set up or failed, or was asked for what it cannot do safely.
    CryptoFailed,
    // A system's code with no kind of its own: shown with that code.
    System,
};

// The number an error of this kind shows: the conventional run-time numbers where they fit,
// then the program's own from 513. None for System, which shows the system's code.
int runTimeNumberOf(ErrorKind kind);

// A failure that travels up to the nearest procedure with an error trap.
class RunTimeError : public std::exception {
public:
    // An error of one of the program's kinds, with its run-time number.
    RunTimeError(ErrorKind kind, QString description);
    // An error a system reported: its kind as the platform maps the code; it shows the run-time
    // number of that kind, or the code itself where the kind is System.
    RunTimeError(ErrorKind kind, qint64 systemCode, QString description);

    ErrorKind kind() const { return kind_; }
    // The number the error report shows.
    int number() const { return number_; }
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return utf8_.constData(); }

    // The same error with another description.
    RunTimeError withDescription(QString description) const;

private:
    ErrorKind kind_;
    int number_;
    QString description_;
    QByteArray utf8_;
};

// The errors that more than one routine raises, with their conventional texts.
inline RunTimeError typeMismatch() {
    return RunTimeError(ErrorKind::TypeMismatch, QStringLiteral("Type mismatch"));
}
inline RunTimeError userInterrupt() {
    return RunTimeError(ErrorKind::UserInterrupt, QStringLiteral("User interrupt occurred"));
}
// A folder, device, FIFO or anything else where a regular file must be.
inline RunTimeError notRegularFile(const QString& path) {
    return RunTimeError(ErrorKind::PathFileAccess, path + QStringLiteral(": Not a regular file"));
}

} // namespace tarsel
