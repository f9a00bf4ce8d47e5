#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

namespace tarsel::platform {

// File attribute bits, with Windows' values, so that the date routines read one attribute word on
// every system.
namespace Attr {
constexpr quint32 ReadOnly = 0x1;
constexpr quint32 Hidden = 0x2;
constexpr quint32 System = 0x4;
constexpr quint32 Directory = 0x10;
constexpr quint32 Archive = 0x20;
} // namespace Attr

struct FoundEntry {
    QString path;       // folder of the search joined with the entry's name
    QString name;       // the entry's own name
    quint32 attributes; // Attr bits; devices, FIFOs and sockets carry System
};

// Attributes of an existing path (following symbolic links). Throws RunTimeError when they cannot
// be read.
// On Linux, read-only means the owner has no write permission and hidden that the name begins
// with a dot; on Windows they are the file's own attribute bits.
quint32 attributesOf(const QString& path);

// Sets the attributes of an existing path (following symbolic links). On Linux ReadOnly takes the
// owner's write permission away and its absence gives it back, and the other bits have no
// counterpart. Throws RunTimeError.
void setAttributes(const QString& path, quint32 attributes);

// Searches the folder named in `path` for entries whose names match its last part, which may hold
// the wildcards `*` and `?` ("*.*" matches every name). Entries are taken in name order; the first
// one that `accept` takes (every one when no filter is given) is returned. On Linux, where `*` and
// `?` may be part of a name, an entry named exactly as the last part comes first. A search that
// cannot be made (missing folder, no permission, a path that ends with '/') finds nothing.
std::optional<FoundEntry> findFirst(const QString& path,
                                    const std::function<bool(const FoundEntry&)>& accept = {});

} // namespace tarsel::platform
