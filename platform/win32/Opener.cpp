#include "platform/Opener.h"

#include "platform/win32/Win32.h"

#include <QDir>
#include <QFileInfo>

#include <objbase.h>
#include <shellapi.h>

namespace tarsel::platform {

namespace {

// The Win32 error that a ShellExecute error code stands for.
DWORD win32Error(INT_PTR code) {
    switch (code) {
    case 0:
    case SE_ERR_OOM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SE_ERR_SHARE:
        return ERROR_SHARING_VIOLATION;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
        return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
        return ERROR_DDE_FAIL;
    case SE_ERR_DLLNOTFOUND:
        return ERROR_DLL_NOT_FOUND;
    default: // file and path not found, access denied, bad format: the Win32 numbers themselves
        return DWORD(code);
    }
}

// The shell may hand the file to handlers that need COM on the calling thread. A thread that
// already has COM of another kind keeps it.
class ComOnThisThread {
public:
    ComOnThisThread()
        : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComOnThisThread() {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComOnThisThread(const ComOnThisThread&) = delete;
    ComOnThisThread& operator=(const ComOnThisThread&) = delete;

private:
    HRESULT result_;
};

} // namespace

void openWithAssociatedProgram(const QString& path) {
    const ComOnThisThread com;
    const std::wstring file =
        QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // Started before the call returns, as this program may end right after it (ShellExecute could
    // leave that to a message loop this program does not run); and no message box, which would
    // hold up a run that nobody watches.
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info))
        return;
    DWORD error = GetLastError();
    if (error == ERROR_SUCCESS)
        error = win32Error(reinterpret_cast<INT_PTR>(info.hInstApp));
    throw win32::errorFrom(error, path);
}

} // namespace tarsel::platform
