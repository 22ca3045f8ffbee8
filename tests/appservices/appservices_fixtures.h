#pragma once
// What the application-services tests share: calls through the raw vtable
// slots that the module uses, scoped changes to the environment and to the
// user's product settings, and the in-process server's counters.

#include "common/scoped_environment.h"
#include <windows.h>
#include <objbase.h>

#include <optional>
#include <string>
#include <vector>

#include "support/com_ptr.h"

namespace zrvappsvctest {

// The server's documented "no translation" result.
constexpr HRESULT kNoTranslation = static_cast<HRESULT>(0x8004A101);

// One answer of a localizer or list call: the result and the out text, told
// apart as null, empty or a text.
struct Answer {
    HRESULT hr = E_UNEXPECTED;
    bool isNull = true;
    std::wstring text;
};

// Slot 7 (GetModuleString) and 8 (GetDialogString) of IAppLocalizer, slot 13
// (ShowHelp) of IAppHelp, slot 24 (GetDocumentExtensions) of
// IAppDocumentTypes, reached by index as the module reaches them.
Answer GetModuleString(IUnknown* localizer, const wchar_t* module, const wchar_t* id,
                       const wchar_t* defaultText = L"default");
Answer GetDialogString(IUnknown* localizer, const wchar_t* module, const wchar_t* dialogId,
                       const wchar_t* key, const wchar_t* defaultText = L"default");
HRESULT ShowHelp(IUnknown* help, const wchar_t* file, const wchar_t* topic, HWND owner);
Answer GetDocumentExtensions(IUnknown* types);
// A parameterless slot (the placeholders).
HRESULT CallEmptySlot(IUnknown* object, int slot);

// Creates AppServices in the given class context; null on failure, with the
// result in *hr.
zrv::com_ptr<IUnknown> CreateAppServices(DWORD context, REFIID iid, HRESULT* hr = nullptr);

using zrvtest::ScopedEnvironment;

// Sets (or with null, removes) a value under HKCU\Software\Lumatrel\Office
// for one scope.
class ScopedOfficeSetting {
  public:
    ScopedOfficeSetting(const wchar_t* name, const wchar_t* value);
    ~ScopedOfficeSetting();
    ScopedOfficeSetting(const ScopedOfficeSetting&) = delete;
    ScopedOfficeSetting& operator=(const ScopedOfficeSetting&) = delete;

  private:
    std::wstring m_name;
    std::optional<std::wstring> m_saved;
};

// The built ZRVAppServices.dll, loaded (or already loaded by COM) in this
// process, with its test counters and DllCanUnloadNow.
class InProcessServer {
  public:
    struct Stats {
        LONG created = 0;
        LONG alive = 0;
        LONG lookups = 0;
    };

    InProcessServer();
    ~InProcessServer();
    InProcessServer(const InProcessServer&) = delete;
    InProcessServer& operator=(const InProcessServer&) = delete;

    bool ok() const { return m_stats && m_canUnloadNow; }
    Stats stats() const;
    HRESULT CanUnloadNow() const { return m_canUnloadNow(); }

  private:
    HMODULE m_module;
    void(__cdecl* m_stats)(LONG*, LONG*, LONG*) = nullptr;
    HRESULT(WINAPI* m_canUnloadNow)() = nullptr;
};

std::wstring ReadTextFile(const std::wstring& path);  // UTF-8 bytes as UTF-16

// Ids of the running processes whose program file is called name.
std::vector<DWORD> ProcessesNamed(const wchar_t* name);

}  // namespace zrvappsvctest
