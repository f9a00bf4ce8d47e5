#pragma once

#include <QString>
#include <QtGlobal>

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

} // namespace tarsel::test::parts
