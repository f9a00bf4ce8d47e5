#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

// Samba keeps a file's DOS attributes and creation time in the extended attribute user.DOSATTRIB
// (little-endian NDR). Writing it in Samba's own layout lets a Samba share show our creation time
// to its Windows clients.
namespace tarsel::platform {

inline constexpr char DosAttribName[] = "user.DOSATTRIB";

struct DosAttrib {
    quint32 attributes = 0;
    std::optional<quint64> createTime; // 100 ns ticks since 1601-01-01 UTC
};

// Reads versions 3, 4 and 5 and the legacy bare "0x.." attribute string (which carries no create
// time). Anything else, a short or malformed blob included, counts as absent.
std::optional<DosAttrib> decodeDosAttrib(const QByteArray& blob);

// The version-5 layout that Samba 4.17 and later write: attributes and create time valid.
QByteArray encodeDosAttrib(quint32 attributes, quint64 createTime);

} // namespace tarsel::platform
