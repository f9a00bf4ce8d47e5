#pragma once

#include "support/TestHost.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

// What the tests' host's shared half takes from each system's, and gives to it.
namespace tarsel::test::parts {

// Opens a new file at `path` for reading and writing, failing where anything is there already;
// the system's own handle, or -1.
qintptr createNewFile(const QString& path);

// Closes a handle of the system's own (a descriptor on Linux).
void closeSystemHandle(qintptr handle);

// A fresh, empty file of a name of its own in `folder` (the temporary folder for none), open for
// a probe of what the folder's file system can do; removed with the object.
class ProbeFile {
public:
    explicit ProbeFile(const QString& folder);
    ~ProbeFile();
    ProbeFile(const ProbeFile&) = delete;
    ProbeFile& operator=(const ProbeFile&) = delete;

    bool isOpen() const { return handle_ != -1; }
    qintptr handle() const { return handle_; }
    const QString& path() const { return path_; }

private:
    QString path_;
    qintptr handle_ = -1;
};

// Why the file system of `folder` cannot set room aside for a file before it is written; empty
// when it can.
QString whyNoReservation(const QString& folder);

// Sets room aside in `probe`, a file in `folder`: why the file system cannot, empty when it can.
QString reserveRoom(const ProbeFile& probe, const QString& folder);

// What the environment variable `name` holds now, to be put back as it was.
class SavedVariable {
public:
    explicit SavedVariable(const char* name);
    void restore() const;

private:
    const char* name_;
    bool set_;
    QByteArray value_;
};

// True while an IsolatedSettings lives, so that no preset can reach the user's own settings.
bool settingsAreIsolated();

// The environment variables besides the store's own name that pointSettingsAt changes.
std::vector<const char*> settingsVariables();

// Makes an owned store afresh (its name then set) or opens the one `store` names, taken over from
// the parent process; a store that cannot be set up ends the test at once.
void openStore(IsolatedSettings::Store& store);

// Leads the system's settings to `store`.
void pointSettingsAt(const IsolatedSettings::Store& store);

// Leads the system's settings away from `store`, and removes it where it is owned.
void closeStore(IsolatedSettings::Store& store);

} // namespace tarsel::test::parts

namespace tarsel::test {

struct IsolatedSettings::Store {
    QString name;       // the configuration folder, or the key below the real HKEY_CURRENT_USER
    bool owned = false; // false when taken over from the parent process
    qintptr handle = 0; // the open key, on Windows
};

} // namespace tarsel::test
