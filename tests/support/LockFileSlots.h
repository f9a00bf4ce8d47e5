#pragma once

#include <QByteArray>

namespace tarsel::test {

// One 64-byte slot of an Access lock file: the two names, each padded to 32 bytes with `pad`.
inline QByteArray lockFileSlot(const QByteArray& computer, const QByteArray& account,
                               char pad = '\0') {
    return computer.leftJustified(32, pad, true) + account.leftJustified(32, pad, true);
}

// `count` slots, DESK-1 to DESK-<count>, each as Admin.
inline QByteArray numberedLockFileSlots(int count) {
    QByteArray bytes;
    for (int i = 1; i <= count; ++i)
        bytes += lockFileSlot("DESK-" + QByteArray::number(i), "Admin");
    return bytes;
}

} // namespace tarsel::test
