#include "appservices_fixtures.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <vector>

#include "common/test_paths.h"
#include "components/component_ids.h"
#include "support/handles.h"
#include "support/bstr.h"

namespace zrvappsvctest {

namespace {

template <typename Fn>
Fn Slot(IUnknown* object, int index) {
    void** vtable = *reinterpret_cast<void***>(object);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(vtable[index]));
}

using GetModuleStringFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR, BSTR, BSTR, BSTR*);
using GetDialogStringFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR, BSTR, BSTR, BSTR, BSTR*);
using ShowHelpFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR, BSTR, HWND, long);
using GetExtensionsFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR*);
using EmptyFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*);

constexpr wchar_t kOfficeKey[] = L"Software\\Lumatrel\\Office";

Answer Take(HRESULT hr, BSTR text) {
    Answer answer;
    answer.hr = hr;
    answer.isNull = text == nullptr;
    if (text) answer.text.assign(text, ::SysStringLen(text));
    ::SysFreeString(text);
    return answer;
}

// Arguments are BSTRs made for the call, as the module makes them.
CComBSTR Bstr(const wchar_t* text) {
    CComBSTR made;
    EXPECT_EQ(S_OK, made.Assign(text));
    return made;
}

std::optional<std::wstring> ReadOfficeValue(const wchar_t* name) {
    zrv::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kOfficeKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                           &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::wstring(buffer);
}

void WriteOfficeValue(const std::wstring& name, const std::optional<std::wstring>& value) {
    zrv::unique_hkey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kOfficeKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                          nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (value) {
        ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(value->c_str()),
                         static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
    } else {
        ::RegDeleteValueW(key.get(), name.c_str());
    }
}

}  // namespace

Answer GetModuleString(IUnknown* localizer, const wchar_t* module, const wchar_t* id,
                       const wchar_t* defaultText) {
    auto m = Bstr(module), i = Bstr(id), d = Bstr(defaultText);
    BSTR text = nullptr;
    const HRESULT hr =
        Slot<GetModuleStringFn>(localizer, 7)(localizer, m.get(), i.get(), d.get(), &text);
    return Take(hr, text);
}

Answer GetDialogString(IUnknown* localizer, const wchar_t* module, const wchar_t* dialogId,
                       const wchar_t* key, const wchar_t* defaultText) {
    auto m = Bstr(module), i = Bstr(dialogId), k = Bstr(key), d = Bstr(defaultText);
    BSTR text = nullptr;
    const HRESULT hr =
        Slot<GetDialogStringFn>(localizer, 8)(localizer, m.get(), i.get(), k.get(), d.get(), &text);
    return Take(hr, text);
}

HRESULT ShowHelp(IUnknown* help, const wchar_t* file, const wchar_t* topic, HWND owner) {
    auto f = Bstr(file), t = Bstr(topic);
    return Slot<ShowHelpFn>(help, 13)(help, f.get(), t.get(), owner, 0);
}

Answer GetDocumentExtensions(IUnknown* types) {
    BSTR text = nullptr;
    const HRESULT hr = Slot<GetExtensionsFn>(types, 24)(types, &text);
    return Take(hr, text);
}

HRESULT CallEmptySlot(IUnknown* object, int slot) { return Slot<EmptyFn>(object, slot)(object); }

zrv::com_ptr<IUnknown> CreateAppServices(DWORD context, REFIID iid, HRESULT* hr) {
    zrv::com_ptr<IUnknown> object;
    const HRESULT result =
        ::CoCreateInstance(CLSID_AppServices, nullptr, context, iid, object.put_void());
    if (hr) *hr = result;
    return object;
}

ScopedOfficeSetting::ScopedOfficeSetting(const wchar_t* name, const wchar_t* value)
    : m_name(name), m_saved(ReadOfficeValue(name)) {
    WriteOfficeValue(m_name, value ? std::optional<std::wstring>(value) : std::nullopt);
}

ScopedOfficeSetting::~ScopedOfficeSetting() { WriteOfficeValue(m_name, m_saved); }

InProcessServer::InProcessServer()
    : m_module(::LoadLibraryW((zrvtest::ProgramFolder() + L"ZRVAppServices.dll").c_str())) {
    if (!m_module) return;
    m_stats = reinterpret_cast<decltype(m_stats)>(
        reinterpret_cast<void*>(::GetProcAddress(m_module, "ZRVAppServicesStats")));
    m_canUnloadNow = reinterpret_cast<decltype(m_canUnloadNow)>(
        reinterpret_cast<void*>(::GetProcAddress(m_module, "DllCanUnloadNow")));
}

InProcessServer::~InProcessServer() {
    if (m_module) ::FreeLibrary(m_module);
}

InProcessServer::Stats InProcessServer::stats() const {
    Stats stats;
    if (m_stats) m_stats(&stats.created, &stats.alive, &stats.lookups);
    return stats;
}

std::wstring ReadTextFile(const std::wstring& path) {
    const std::string bytes = zrvtest::ReadFileBytes(path);
    if (bytes.empty()) return std::wstring();
    std::wstring text(bytes.size(), L'\0');
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                        text.data(), static_cast<int>(text.size()));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

std::vector<DWORD> ProcessesNamed(const wchar_t* name) {
    std::vector<DWORD> ids;
    zrv::unique_hfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::lstrcmpiW(entry.szExeFile, name) == 0) ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

}  // namespace zrvappsvctest
