#pragma once

#include "support/TestHost.h"
#include "support/WindowSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <memory>

// What the tests of the settings store share: a store of the test's own for each test function,
// and on Linux the store's file written by hand.
namespace tarsel::test {

// Where a configuration folder holds the store's file, on Linux.
const QString StoreFile = QStringLiteral("Ombrix/TarselCopyFile.ini");

// Writes `content` to the file at `path`, its folder made first, under a modification time that
// no such write of this process gave before: QSettings then parses the file afresh instead of
// reusing an earlier parse, whose time and size the new content may match. False when it cannot.
inline bool writeByHand(const QString& path, const QByteArray& content) {
    static qint64 rewrites = 0;
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) &&
           file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size() &&
           file.setFileTime(QDateTime::fromSecsSinceEpoch(1'000'000 + ++rewrites),
                            QFileDevice::FileModificationTime);
}

// An IsolatedSettings made afresh for each test function: begin() from init(), end() from
// cleanup().
class FreshSettings {
public:
    void begin() {
        end();
        settings_ = std::make_unique<IsolatedSettings>();
    }
    void end() { settings_.reset(); }

    IsolatedSettings* operator->() const { return settings_.get(); }

private:
    std::unique_ptr<IsolatedSettings> settings_;
};

} // namespace tarsel::test
