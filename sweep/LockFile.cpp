#include "sweep/LockFile.h"

#include "core/RunTimeError.h"
#include "platform/Files.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <optional>

namespace tarsel {

namespace {

constexpr qsizetype MaxSlots = 255;
constexpr qsizetype SlotBytes = 64;
constexpr qsizetype NameBytes = 32;

// The text after the last separator of either system: the engine sees both kinds of path.
qsizetype nameStart(const QString& path) {
    return std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1;
}

// Windows-1252, decoded here on every system: Qt's own decoder knows it only when built with ICU,
// which the Windows build is not. It is Latin-1 but for 0x80-0x9F; 0 marks the five bytes it
// leaves undefined.
constexpr std::array<char16_t, 32> Cp1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// A name as Access writes it: ANSI text ended by a NUL (what follows may be stale bytes) or padded
// with blanks. Nothing when it holds control characters or bytes the code page leaves undefined:
// such a slot was never written as a name.
std::optional<QString> nameIn(const char* field) {
    const qsizetype length = std::find(field, field + NameBytes, '\0') - field;
    QString name;
    for (qsizetype i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(field[i]);
        const char16_t unit = byte >= 0x80 && byte < 0xA0 ? Cp1252High[byte - 0x80] : byte;
        if (unit < 0x20 || unit == 0x7F)
            return std::nullopt;
        name.append(QChar(unit));
    }
    while (name.endsWith(u' '))
        name.chop(1);
    while (name.startsWith(u' '))
        name.remove(0, 1);
    return name;
}

} // namespace

QString lockFilePathFor(const QString& frontEnd) {
    const qsizetype dot = frontEnd.lastIndexOf(u'.');
    if (dot < nameStart(frontEnd))
        return QString();
    const QString extension = frontEnd.mid(dot + 1).toLower();
    const QString stem = frontEnd.left(dot);
    if (extension == u"accdb" || extension == u"accde")
        return stem + QStringLiteral(".laccdb");
    if (extension == u"mdb" || extension == u"mde")
        return stem + QStringLiteral(".ldb");
    return QString();
}

QStringList frontEndFiles(const QString& frontEnd) {
    QStringList files{frontEnd};
    if (const QString lockFile = lockFilePathFor(frontEnd); !lockFile.isEmpty())
        files.append(lockFile);
    return files;
}

std::vector<LockFileEntry> readLockFile(const QString& path) {
    QByteArray bytes(MaxSlots * SlotBytes, Qt::Uninitialized);
    qint64 length = 0;
    try {
        const platform::OpenFile file = platform::openForReading(path);
        length = platform::readAt(file, bytes.data(), bytes.size(), 0);
    } catch (const RunTimeError&) {
        return {};
    }
    std::vector<LockFileEntry> entries;
    for (qsizetype slot = 0; (slot + 1) * SlotBytes <= length; ++slot) {
        const char* record = bytes.constData() + slot * SlotBytes;
        const std::optional<QString> computer = nameIn(record);
        const std::optional<QString> account = nameIn(record + NameBytes);
        if (computer && account && !computer->isEmpty())
            entries.push_back({*computer, *account});
    }
    return entries;
}

QString lockFileText(const QString& lockPath, const std::vector<LockFileEntry>& entries) {
    QStringList names;
    for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
        if (std::find(entries.begin(), entry, *entry) != entry)
            continue;
        names.append(entry->account.isEmpty()
                         ? entry->computer
                         : entry->computer + QStringLiteral(" (") + entry->account + u')');
    }
    if (names.isEmpty())
        return QString();
    return QStringLiteral("recorded in ") + lockPath.mid(nameStart(lockPath)) +
           QStringLiteral(" (may include people who have left): ") +
           names.join(QStringLiteral(", "));
}

} // namespace tarsel
