#include "core/RunTimeError.h"

namespace tarsel {

int runTimeNumberOf(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::InvalidProcedureCall:
        return 5;
    case ErrorKind::DivisionByZero:
        return 11;
    case ErrorKind::TypeMismatch:
        return 13;
    case ErrorKind::UserInterrupt:
        return 18;
    case ErrorKind::FileNotFound:
        return 53;
    case ErrorKind::DeviceIO:
        return 57;
    case ErrorKind::DiskFull:
        return 61;
    case ErrorKind::PermissionDenied:
        return 70;
    case ErrorKind::PathFileAccess:
        return 75;
    case ErrorKind::PathNotFound:
        return 76;
    case ErrorKind::CopyDiffers:
        return 513;
    case ErrorKind::BadChecksumFile:
        return 514;
    case ErrorKind::DigestFailed:
        return 515;
    case ErrorKind::ReleaseChanged:
        return 516;
    case ErrorKind::ChecksumDiffers:
        return 517;
    case ErrorKind::ReleaseEmpty:
        return 518;
    case ErrorKind::ReleaseNotSigned:
        return 519;
    case ErrorKind::KeyNotTrusted:
        return 520;
    case ErrorKind::SignatureDiffers:
        return 521;
    case ErrorKind::BadSignatureFile:
        return 522;
    case ErrorKind::BadKey:
        return 523;
    case ErrorKind::WrongPassword:
        return 524;
    case ErrorKind::CryptoFailed:
        return 525;
    case ErrorKind::ReleaseOlder:
        return 526;
    case ErrorKind::System:
        break;
    }
    return 0;
}

RunTimeError::RunTimeError(ErrorKind kind, QString description)
    : RunTimeError(kind, 0, std::move(description)) {}

RunTimeError::RunTimeError(ErrorKind kind, qint64 systemCode, QString description)
    : kind_(kind), number_(kind == ErrorKind::System ? int(systemCode) : runTimeNumberOf(kind)),
      description_(std::move(description)), utf8_(description_.toUtf8()) {}

RunTimeError RunTimeError::withDescription(QString description) const {
    RunTimeError error = *this;
    error.description_ = std::move(description);
    error.utf8_ = error.description_.toUtf8();
    return error;
}

} // namespace tarsel
