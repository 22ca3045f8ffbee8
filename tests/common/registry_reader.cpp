#include "registry_reader.h"

#include "support/handles.h"

namespace zrvtest {

namespace {

zrv::unique_hkey Open(HKEY root, const std::wstring& path) {
    zrv::unique_hkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        key.reset();
    }
    return key;
}

// The names an enumeration call (RegEnumKeyExW or RegEnumValueW) gives, in
// its order; none when the key cannot be opened.
template <typename Enumerate>
std::vector<std::wstring> Names(HKEY root, const std::wstring& path, Enumerate enumerate) {
    std::vector<std::wstring> names;
    zrv::unique_hkey key = Open(root, path);
    if (!key) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (enumerate(key.get(), i, name, &length) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

}  // namespace

bool KeyExists(HKEY root, const std::wstring& path) { return static_cast<bool>(Open(root, path)); }

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path,
                                       const std::wstring& name) {
    zrv::unique_hkey key = Open(root, path);
    if (!key) return std::nullopt;
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(&value[0]), &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return value;
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path) {
    return Names(root, path, [](HKEY key, DWORD i, wchar_t* name, DWORD* length) {
        return ::RegEnumKeyExW(key, i, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path) {
    return Names(root, path, [](HKEY key, DWORD i, wchar_t* name, DWORD* length) {
        return ::RegEnumValueW(key, i, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

}  // namespace zrvtest
