#include "platform/posix/DosAttrib.h"

#include <QtEndian>
#include <algorithm>

namespace tarsel::platform {

namespace {

constexpr quint32 AttribValid = 0x01;
constexpr quint32 CreateTimeValid = 0x10;

constexpr qsizetype alignUp(qsizetype offset, qsizetype to) {
    return (offset + to - 1) / to * to;
}

// Where each version's record keeps its create time, and how long the record is. Every field is
// 4-byte aligned (NDR aligns 64-bit times and sizes to 4), so the offsets are fixed.
struct Layout {
    qsizetype size;
    qsizetype createTimeAt;
};
constexpr Layout layouts[] = {
    {44, 28}, // 3: valid_flags, attrib, ea_size, size, alloc_size, create_time, change_time
    {24, 16}, // 4: valid_flags, attrib, itime, create_time
    {16, 8},  // 5: valid_flags, attrib, create_time
};

// "0x" and one to eight hex digits.
std::optional<quint32> legacyAttributes(const QByteArray& text) {
    const auto isHex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    if (text.size() < 3 || text.size() > 10 || !text.startsWith("0x") ||
        !std::all_of(text.begin() + 2, text.end(), isHex))
        return std::nullopt;
    return text.mid(2).toUInt(nullptr, 16);
}

} // namespace

std::optional<DosAttrib> decodeDosAttrib(const QByteArray& blob) {
    // A NUL-terminated attribute string comes first; when nothing follows it, it is the legacy
    // form.
    const qsizetype nul = blob.indexOf('\0');
    if (nul < 0 || nul + 1 == blob.size()) {
        const auto attributes = legacyAttributes(nul < 0 ? blob : blob.left(nul));
        if (!attributes)
            return std::nullopt;
        return DosAttrib{*attributes, std::nullopt};
    }

    // Then the version, the union level (the same number again) and the version's record.
    const qsizetype versionAt = alignUp(nul + 1, 2);
    const qsizetype recordAt = alignUp(versionAt + 4, 4);
    if (recordAt > blob.size())
        return std::nullopt;
    const auto field16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(blob.data() + at); };
    const quint16 version = field16(versionAt);
    if (version < 3 || version > 5 || field16(versionAt + 2) != version)
        return std::nullopt;
    const Layout layout = layouts[version - 3];
    if (blob.size() - recordAt < layout.size)
        return std::nullopt;

    const char* record = blob.data() + recordAt;
    const quint32 validFlags = qFromLittleEndian<quint32>(record);
    if (!(validFlags & AttribValid))
        return std::nullopt;
    DosAttrib result{qFromLittleEndian<quint32>(record + 4), std::nullopt};
    const quint64 createTime = qFromLittleEndian<quint64>(record + layout.createTimeAt);
    if ((validFlags & CreateTimeValid) && createTime != 0)
        result.createTime = createTime;
    return result;
}

QByteArray encodeDosAttrib(quint32 attributes, quint64 createTime) {
    QByteArray blob(24, '\0');
    char* p = blob.data();
    // Bytes 0-1: the empty attribute string and its pad byte.
    qToLittleEndian<quint16>(5, p + 2); // version
    qToLittleEndian<quint16>(5, p + 4); // union level; bytes 6-7 pad
    qToLittleEndian<quint32>(AttribValid | CreateTimeValid, p + 8);
    qToLittleEndian<quint32>(attributes, p + 12);
    qToLittleEndian<quint64>(createTime, p + 16);
    return blob;
}

} // namespace tarsel::platform
