#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

namespace tarsel::bench {

constexpr qint32 BlockSize = 32767;

// "1G", "512M", "64K" or a number of bytes; 0 when unreadable.
qint64 parseSize(QString text);

// "1 GiB", "16 MiB", "2 GiB - 1 B", or the bytes.
QString sizeText(qint64 size);

// A file of `size` bytes that neither compresses nor repeats a page: one random MiB written
// over and over, every 4 KiB page of it stamped with the MiB's number.
bool makeRandomFile(const QString& path, qint64 size);

// A temporary folder under `folder` with a random file of `size` bytes in it; removed with
// everything in it when the object goes.
class SourceFolder {
public:
    SourceFolder(const QString& folder, qint64 size);

    // False, after saying why, when the folder or the file could not be made.
    bool made() const { return made_; }
    QString source() const { return dir_.filePath(QStringLiteral("source")); }
    QString path(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    bool made_;
};

// Runs a tool and waits for it, its standard output discarded; true when it exits with 0.
bool tool(const QString& program, const QStringList& arguments);

// The peak resident memory of this process so far.
double peakRssMiB();

} // namespace tarsel::bench
