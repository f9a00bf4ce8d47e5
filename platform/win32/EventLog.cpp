#include "platform/EventLog.h"

#include "platform/win32/Contracts.h"
#include "platform/win32/Win32.h"

#include <memory>
#include <string>
#include <vector>

namespace tarsel::platform {

namespace {

using win32::contract;
using win32::fail;

// The event source the package registers, with tarselcopy.exe's message table. Unregistered (a
// program folder copied by hand) the events are written all the same: Event Viewer then shows
// their strings without the message.
constexpr wchar_t Source[] = L"TarselCopyFile";

// ReportEventW takes no longer insertion string.
constexpr qsizetype StringLimit = 31'839;

std::wstring insertion(const QString& text) {
    qsizetype length = qMin(text.size(), StringLimit);
    // Never half of a surrogate pair.
    if (length < text.size() && length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return text.first(length).toStdWString();
}

// The account the program runs as, so that Event Viewer's User column names it.
std::unique_ptr<char[]> processUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    auto user = std::make_unique<char[]>(size);
    const bool read = size != 0 && GetTokenInformation(token, TokenUser, user.get(), size, &size);
    CloseHandle(token);
    return read ? std::move(user) : nullptr;
}

} // namespace

void reportRunEvent(const RunEvent& event) {
    std::vector<std::wstring> texts;
    std::vector<const wchar_t*> strings;
    for (const QString& text : event.strings) {
        texts.push_back(insertion(text));
        // Windows refuses a longer one, and Wine takes it.
        if (!contract(texts.back().size() <= size_t(StringLimit), ERROR_INVALID_PARAMETER))
            fail(QStringLiteral("ReportEventW"));
    }
    for (const std::wstring& text : texts)
        strings.push_back(text.c_str());
    HANDLE log = RegisterEventSourceW(nullptr, Source);
    if (!log)
        fail(QStringLiteral("RegisterEventSourceW"));
    const std::unique_ptr<char[]> user = processUser();
    const PSID sid = user ? reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid : nullptr;
    const bool written =
        ReportEventW(log, event.error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0,
                     DWORD(event.id), sid, WORD(strings.size()), 0, strings.data(), nullptr);
    const DWORD code = GetLastError();
    DeregisterEventSource(log);
    if (!written) {
        SetLastError(code);
        fail(QStringLiteral("ReportEventW"));
    }
}

} // namespace tarsel::platform
