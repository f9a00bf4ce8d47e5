#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "support/TestHost.h"

namespace tarsel::test {

// A test's own temporary folder, removed with the test object.
class InTempFolder {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
};

// Bytes that differ from block to block, so a block written at the wrong offset shows.
inline QByteArray patternBytes(qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 32767) % 251);
    return bytes;
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "folder" and, where the system has FIFOs, "fifo" in `dir`: entries that a copy must refuse as
// its source or target.
inline bool makeNonFiles(const QString& dir) {
    return QDir(dir).mkdir(QStringLiteral("folder")) &&
           (!missing(Facility::Fifo).isEmpty() || makeFifo(dir + QStringLiteral("/fifo")));
}

} // namespace tarsel::test
