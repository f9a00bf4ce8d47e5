#pragma once

#include "platform/StagingFile.h"
#include "support/FileFixtures.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace tarsel::test {

// Makes a file look as if nothing had written to it for twice the time after which a staging file
// may be taken for an orphan.
inline bool untouchedForLong(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(QDateTime::currentDateTime().addMSecs(-2 * platform::OrphanAgeMs),
                            QFileDevice::FileModificationTime);
}

// A release folder holding the new version and a live folder holding the one that users run.
class ReleaseFixture {
public:
    QString source, target;
    QByteArray newBytes, oldBytes;

    // Lays the two folders out afresh; false when that fails.
    bool reset(const QByteArray& newContent, const QByteArray& oldContent) {
        newBytes = newContent;
        oldBytes = oldContent;
        source = dir_.path() + "/release/app.mdb";
        target = liveFolder() + "/app.mdb";
        return dir_.isValid() && QDir(dir_.path()).removeRecursively() &&
               QDir().mkpath(dir_.path() + "/release") && QDir().mkpath(liveFolder()) &&
               writeFile(source, newBytes) && writeFile(target, oldBytes);
    }

    QString root() const { return dir_.path(); }
    QString liveFolder() const { return dir_.path() + "/live"; }

    // Staging files left in the live folder.
    QStringList stagingFiles() const { return stagingFilesIn(liveFolder()); }

    static QStringList stagingFilesIn(const QString& folder) {
        QStringList found;
        const auto names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
        for (const QString& name : names)
            if (platform::isStagingName(name))
                found << name;
        return found;
    }

private:
    QTemporaryDir dir_;
};

} // namespace tarsel::test
