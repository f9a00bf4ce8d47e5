#include "console/Retry.h"

#include "copy/ChecksumFile.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace tarsel::console {

namespace {

constexpr double MaxWaitMs = 3600.0 * 1000.0;

std::optional<platform::FileState> stateAt(const QString& path) {
    try {
        return platform::stateOf(platform::openForReading(path));
    } catch (const RunTimeError&) {
        return std::nullopt;
    }
}

} // namespace

bool mayPass(const RunFailure& failure) {
    const ErrorKind kind = failure.kind();
    switch (failure.stage()) {
    case RunStage::Release:
        // Not there yet, or not yet readable: a share that is still being connected at logon.
        return kind == ErrorKind::FileNotFound || kind == ErrorKind::PathNotFound ||
               kind == ErrorKind::PermissionDenied || kind == ErrorKind::DeviceIO ||
               kind == ErrorKind::System;
    case RunStage::Published:
        // A publish under way: the release moving, or its checksum not yet in step with it.
        return kind == ErrorKind::ReleaseChanged || kind == ErrorKind::ChecksumDiffers ||
               kind == ErrorKind::DeviceIO;
    case RunStage::Replace:
    case RunStage::Verify:
    case RunStage::Differs:
        return true;
    default:
        return false;
    }
}

qint64 retryWaitMs(double seconds, int tries) {
    const double grown = seconds * 1000.0 * std::pow(1.5, std::max(tries - 1, 0));
    const double jitter = 0.75 + 0.5 * QRandomGenerator::global()->generateDouble();
    return std::llround(std::min(grown * jitter, MaxWaitMs));
}

MasterState masterState(const QString& source) {
    return {stateAt(source), stateAt(checksumPathFor(source))};
}

} // namespace tarsel::console
