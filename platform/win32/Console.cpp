#include "platform/Console.h"

#include "core/RunTimeError.h"
#include "platform/win32/Win32.h"

#include <lmcons.h>

#include <atomic>
#include <mutex>

namespace tarsel::platform {

namespace {

std::atomic<bool> interruptFlag{false};

// Set once the program has cleaned up. Manual reset: a later notice passes at once.
HANDLE handledEvent = nullptr;

// Windows ends the process 5 s after a closed window or an ending session at the latest, or sooner
// once told that this process is done; the wait ends before, so the process goes on our terms.
constexpr DWORD CleanUpWaitMs = 4000;

constexpr DWORD WindowReadyWaitMs = 2000;

void noteInterrupt() {
    interruptFlag.store(true);
}

void noteAndWaitForCleanUp() {
    noteInterrupt();
    WaitForSingleObject(handledEvent, CleanUpWaitMs);
}

// Runs on a thread that the system starts for the notice.
BOOL WINAPI onConsoleControl(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        noteInterrupt();
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        noteAndWaitForCleanUp();
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT CALLBACK onSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam)
            noteAndWaitForCleanUp();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// A process that loads user32, as Qt does, hears of the session's end only through a window: a
// hidden top-level one (a message-only window gets no broadcasts), on a thread of its own because
// the run does not pump messages.
DWORD WINAPI watchSessionEnd(void* ready) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = onSessionMessage;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TarselSessionEnd";
    const bool made = RegisterClassW(&windowClass) &&
                      CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0,
                                      nullptr, nullptr, windowClass.hInstance, nullptr);
    const DWORD error = made ? 0 : GetLastError();
    SetEvent(static_cast<HANDLE>(ready));
    if (!made)
        return error;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

} // namespace

void prepareStandardStreams() {}

QStringList unreadableArguments(int, char**) {
    return {};
}

bool stderrIsTerminal() {
    // GetConsoleMode succeeds for a console alone; the C runtime's _isatty also for NUL.
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void catchInterrupts() {
    static std::once_flag once;
    std::call_once(once, [] {
        handledEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(onConsoleControl, TRUE);
        // A program that ends while that thread is still making its window can hang in the
        // window system (seen under Wine about once in ten quick runs): the window is made, or
        // has failed, before the run begins.
        const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (const HANDLE thread = CreateThread(nullptr, 0, watchSessionEnd, ready, 0, nullptr)) {
            WaitForSingleObject(ready, WindowReadyWaitMs);
            CloseHandle(thread);
        }
        CloseHandle(ready);
    });
}

bool interrupted() {
    return interruptFlag.load();
}

void interruptHandled() {
    if (handledEvent)
        SetEvent(handledEvent);
}

QString userName() {
    wchar_t name[UNLEN + 1];
    DWORD size = UNLEN + 1;
    if (!GetUserNameW(name, &size) || size == 0)
        return {};
    return QString::fromWCharArray(name, int(size) - 1); // the count includes the closing null
}

std::optional<QByteArray> readSecretLine(const QString& prompt) {
    const HANDLE input =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE)
        return std::nullopt;
    DWORD shown = 0;
    if (!GetConsoleMode(input, &shown)) {
        CloseHandle(input);
        return std::nullopt;
    }
    const HANDLE output =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    const auto say = [&](const std::wstring& text) {
        DWORD written = 0;
        if (output != INVALID_HANDLE_VALUE)
            WriteConsoleW(output, text.c_str(), DWORD(text.size()), &written, nullptr);
    };
    say(prompt.toStdWString());
    SetConsoleMode(input, (shown | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) &
                              ~DWORD(ENABLE_ECHO_INPUT));
    std::wstring typed(1024, L'\0');
    DWORD count = 0;
    const bool read = ReadConsoleW(input, typed.data(), DWORD(typed.size()), &count, nullptr);
    SetConsoleMode(input, shown);
    say(L"\r\n");
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
    CloseHandle(input);
    typed.resize(read ? count : 0);
    while (!typed.empty() && (typed.back() == L'\n' || typed.back() == L'\r'))
        typed.pop_back();
    QString line = QString::fromStdWString(typed);
    SecureZeroMemory(typed.data(), typed.size() * sizeof(wchar_t));
    if (!read && interrupted())
        throw userInterrupt();
    QByteArray bytes = line.toUtf8();
    line.fill(QChar(0));
    return bytes;
}

} // namespace tarsel::platform
