#include "help_request.h"

#include <cwchar>
#include <string_view>
#include <vector>

#include "appservices/settings.h"
#include "support/handles.h"

namespace zrvappsvc {

namespace {

bool HasUnsafeCharacter(std::wstring_view text) {
    for (wchar_t c : text) {
        if (c < 0x20 || c == 0x7F || c == L'"' || c == L'|') return true;
    }
    return false;
}

// A name of a file in the binaries' folder: no folder part, no drive, no
// stream, and not "." or "..".
bool IsPlainFileName(std::wstring_view name) {
    return !name.empty() && name != L"." && name != L".." &&
           name.find_first_of(L"\\/:*?<>") == std::wstring_view::npos && !HasUnsafeCharacter(name);
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HRESULT StartHelpViewer(const std::wstring& helpPath, std::wstring_view topic) {
    wchar_t windows[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return HRESULT_FROM_WIN32(::GetLastError());
    // The viewer by its full path, so that no other hh.exe on the search path
    // is started in its place.
    std::wstring commandLine = L"\"" + std::wstring(windows) + L"\\hh.exe\" \"" + helpPath;
    if (!topic.empty()) commandLine.append(L"::/").append(topic);
    commandLine += L"\"";

    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    zrv::unique_handle thread(process.hThread);
    zrv::unique_handle processHandle(process.hProcess);
    return S_OK;
}

std::string Utf8(std::wstring_view text) {
    if (text.empty()) return std::string();
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                            nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                              bytes, nullptr, nullptr);
    }
    return result;
}

HRESULT RecordRequest(std::wstring_view helpFile, std::wstring_view topic, HWND owner) {
    wchar_t ownerText[16] = {};
    std::swprintf(ownerText, 16, L"0x%08lX",
                  static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(owner)));
    std::wstring line(helpFile);
    line.append(L"|").append(topic).append(L"|").append(ownerText).append(L"\r\n");
    const std::string bytes = Utf8(line);

    // Appending is one write, so that requests from several processes do not
    // interleave within a line.
    zrv::unique_hfile log(::CreateFileW(HelpLogPath().c_str(), FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log) return HRESULT_FROM_WIN32(::GetLastError());
    DWORD written = 0;
    if (!::WriteFile(log.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size()) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    return S_OK;
}

}  // namespace

std::wstring HelpLogPath() {
    if (std::optional<std::wstring> path = EnvironmentText(L"ZRV_HELP_LOG")) return *path;
    // The local server is started by the system, not by its client: the
    // user's setting reaches it where the client's environment does not.
    if (std::optional<std::wstring> path = OfficeSetting(L"HelpLog"); path && !path->empty())
        return *path;
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = n > 0 && n <= MAX_PATH ? std::wstring(temp, n) : std::wstring();
    return folder + L"ZRVHelp.requests.log";
}

HRESULT ShowHelpRequest(const wchar_t* helpFile, const wchar_t* topic, HWND owner) {
    const std::wstring_view file = helpFile ? helpFile : L"";
    const std::wstring_view page = topic ? topic : L"";
    if (!IsPlainFileName(file) || HasUnsafeCharacter(page)) return E_INVALIDARG;

    const std::wstring helpPath = ImageFolder() + std::wstring(file);
    if (FileExists(helpPath)) return StartHelpViewer(helpPath, page);
    return RecordRequest(file, page, owner);
}

}  // namespace zrvappsvc
