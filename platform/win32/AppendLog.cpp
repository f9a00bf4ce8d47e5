#include "platform/AppendLog.h"

#include "platform/win32/Win32.h"

namespace tarsel::platform {

void appendLine(const QString& path, const QByteArray& line) {
    using namespace win32;
    // Append access alone, without FILE_WRITE_DATA, makes each write land at the file's end in one
    // step, also on a share; others may read, append and remove meanwhile.
    const HANDLE file = CreateFileW(widePath(path).c_str(), FILE_APPEND_DATA, ShareAll, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw notRegularFile(path);
        throw errorFrom(err, path);
    }
    // A device (NUL, CON, a COM port) or a pipe is no log.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        throw notRegularFile(path);
    }
    DWORD written = 0;
    const bool wrote = WriteFile(file, line.constData(), DWORD(line.size()), &written, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!wrote)
        throw errorFrom(error, path);
    if (written != DWORD(line.size()))
        throw errorFrom(ERROR_WRITE_FAULT, path);
}

} // namespace tarsel::platform
