#include "copy/FileExists.h"

#include "platform/DirectorySearch.h"

namespace tarsel {

namespace {

bool foundWithout(const QString& path, quint32 excluded) {
    using namespace platform;
    return !path.isEmpty() && findFirst(path, [excluded](const FoundEntry& entry) {
                                  return (entry.attributes & excluded) == 0;
                              }).has_value();
}

} // namespace

bool FileExists(const QString& path) {
    using namespace platform;
    return foundWithout(path, Attr::Directory | Attr::Hidden | Attr::System);
}

bool FolderExists(const QString& path) {
    using namespace platform;
    return foundWithout(path, Attr::Hidden | Attr::System);
}

} // namespace tarsel
