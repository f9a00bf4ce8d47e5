// A stand-in for another program in the Windows tests:
//   holder                     sleeps until it is ended (copied as MSACCESS.EXE, it is what the
//                              sweep must end)
//   holder PATH MILLISECONDS   holds PATH open as a program that uses it would, sharing reading
//                              and writing but not deleting, and lets go after MILLISECONDS
//                              (never, for -1); prints "held" once it holds the file
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        Sleep(INFINITE);
        return 0;
    }
    const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("cannot open: %lu\n", GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    const long ms = std::wcstol(argv[2], nullptr, 10);
    Sleep(ms < 0 ? INFINITE : DWORD(ms));
    CloseHandle(file);
    return 0;
}
