#include "copy/SmallFile.h"

#include "core/RunTimeError.h"
#include "platform/Files.h"
#include "platform/StagingFile.h"

#include <QFileInfo>

namespace tarsel {

std::optional<SmallFile> readSmallFile(const QString& path, qint64 maxSize) {
    if (!platform::nameCanExist(path))
        return std::nullopt;
    std::optional<platform::OpenFile> file;
    try {
        file.emplace(platform::openForReading(path));
    } catch (const RunTimeError& e) {
        if ((e.kind() == ErrorKind::FileNotFound || e.kind() == ErrorKind::PathNotFound) &&
            !QFileInfo(path).isSymLink())
            return std::nullopt;
        throw;
    }
    QByteArray bytes(maxSize + 1, Qt::Uninitialized);
    bytes.resize(platform::readAt(*file, bytes.data(), bytes.size(), 0));
    return SmallFile{bytes, platform::stateOf(*file).changed};
}

platform::FileId writeSmallFile(const QString& path, const QByteArray& bytes,
                                const QString& rightsOf, Yielder& yielder) {
    platform::StagingFile staging(path, bytes.size());
    platform::writeAt(staging.file(), bytes.constData(), bytes.size(), 0);
    platform::StoredCopy written = staging.readBack(yielder);
    QByteArray back(bytes.size() + 1, '\0');
    back.truncate(written.readAt(back.data(), back.size(), 0));
    if (back != bytes)
        throw RunTimeError(ErrorKind::CopyDiffers,
                           path + QStringLiteral(": what was read back is not what was written"));
    // The rights of the version beside it, which this run gave it: nothing there it cannot keep.
    staging.commit(yielder, rightsOf);
    return staging.fileId();
}

} // namespace tarsel
