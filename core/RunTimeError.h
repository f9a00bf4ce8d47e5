#pragma once

#include <QString>
#include <exception>

namespace tarsel {

// Run-time error numbers, the conventional ones where they fit; otherwise the platform's own code.
namespace ErrNo {
constexpr int InvalidProcedureCall = 5;
constexpr int Overflow = 6;
constexpr int DivisionByZero = 11;
constexpr int UserInterrupt = 18;
constexpr int TypeMismatch = 13;
constexpr int FileNotFound = 53;
constexpr int DeviceIO = 57;
constexpr int DiskFull = 61;
constexpr int PermissionDenied = 70;
constexpr int PathFileAccess = 75;
constexpr int PathNotFound = 76;
// The first number left to a program's own errors.
constexpr int CopyDiffers = 513;
// A release's .sha256 that cannot be read as sha256sum writes it, or that names another file.
constexpr int BadChecksumFile = 514;
// The system's SHA-256 could not be set up or failed.
constexpr int DigestFailed = 515;
// The release is not as it was published: it changed while it was copied, it differs from its
// published checksum, or it is empty.
constexpr int ReleaseChanged = 516;
constexpr int ChecksumDiffers = 517;
constexpr int ReleaseEmpty = 518;
} // namespace ErrNo

// A failure that travels up to the nearest procedure with an error trap.
class RunTimeError : public std::exception {
public:
    RunTimeError(int number, QString description);

    int number() const { return number_; }
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    int number_;
    QString description_;
    QByteArray utf8_;
};

// The errors that more than one routine raises, with their conventional texts.
inline RunTimeError typeMismatch() {
    return RunTimeError(ErrNo::TypeMismatch, QStringLiteral("Type mismatch"));
}
inline RunTimeError userInterrupt() {
    return RunTimeError(ErrNo::UserInterrupt, QStringLiteral("User interrupt occurred"));
}
// A folder, device, FIFO or anything else where a regular file must be.
inline RunTimeError notRegularFile(const QString& path) {
    return RunTimeError(ErrNo::PathFileAccess, path + QStringLiteral(": Not a regular file"));
}

} // namespace tarsel
