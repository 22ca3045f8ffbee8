#include "registration.h"

#include <oleauto.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "module/module.h"
#include "module/object_map.h"
#include "module/registry_script.h"
#include "support/bstr.h"
#include "support/class_registration.h"
#include "support/com_ptr.h"
#include "support/handles.h"
#include "support/hresult.h"
#include "support/mutex_lock.h"

namespace {

constexpr wchar_t kRegistrationMutexName[] = L"ZRVPropHelper.Registration";
constexpr DWORD kRegistrationWaitMs = 60000;

HRESULT UpdateClassRegistration(const ObjectMapEntry& entry, const std::wstring& modulePath,
                                bool doRegister) noexcept try {
    std::vector<zrv::RegistryVariable> variables;
    ZRV_RETURN_IF_FAILED(g_module.AddCommonRGSReplacements(variables));
    variables.push_back({L"MODULE", modulePath});
    return zrv::RunRegistryScriptResource(g_module.Instance(), entry.registryScript, doRegister,
                                          variables);
}
ZRV_CATCH_RETURN()

// Whether the system still holds a registration of the library: asked of the
// registration itself, since loading the library also fails when only its file
// is gone.
bool TypeLibStillRegistered(const TLIBATTR& attr) noexcept {
    CComBSTR path;
    const HRESULT hr = ::QueryPathOfRegTypeLib(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum,
                                               attr.lcid, path.put());
    return hr != TYPE_E_LIBNOTREGISTERED;
}

bool HasSubkeysBut(const std::wstring& path, std::initializer_list<const wchar_t*> allowed) {
    zrv::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = ARRAYSIZE(name);
        const LSTATUS status =
            ::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return false;
        if (status != ERROR_SUCCESS) return true;
        bool known = false;
        for (const wchar_t* a : allowed) known = known || ::lstrcmpiW(name, a) == 0;
        if (!known) return true;
    }
}

// A registration that was half removed by hand is refused by the system's
// unregistration, which then leaves the rest in place: remove this library's
// locale key, then its version and id keys once nothing else is under them.
void RemoveTypeLibRemains(const TLIBATTR& attr) noexcept try {
    wchar_t guid[40] = {};
    if (::StringFromGUID2(attr.guid, guid, ARRAYSIZE(guid)) == 0) return;
    const std::wstring library = std::wstring(L"TypeLib\\") + guid;
    wchar_t text[32];
    ::wsprintfW(text, L"\\%x.%x", attr.wMajorVerNum, attr.wMinorVerNum);
    const std::wstring version = library + text;
    ::wsprintfW(text, L"\\%lx", static_cast<unsigned long>(attr.lcid));
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (version + text).c_str());
    if (!HasSubkeysBut(version, {L"FLAGS", L"HELPDIR"}))
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, version.c_str());
    if (!HasSubkeysBut(library, {})) ::RegDeleteKeyW(HKEY_CLASSES_ROOT, library.c_str());
} catch (...) {
}

HRESULT UnregisterTypeLib(ITypeLib* typeLib) noexcept {
    TLIBATTR* attr = nullptr;
    ZRV_RETURN_IF_FAILED(typeLib->GetLibAttr(&attr));
    HRESULT hr = ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                                     attr->syskind);
    // Unregistering must be repeatable: a library that is not registered
    // (any more) is not a failure.
    if (FAILED(hr) && !TypeLibStillRegistered(*attr)) {
        RemoveTypeLibRemains(*attr);
        hr = S_OK;
    }
    typeLib->ReleaseTLibAttr(attr);
    return hr;
}

// The system's type-library calls refuse paths of MAX_PATH characters or
// more; a module installed deeper is named by its short path there.
std::wstring TypeLibPath(const std::wstring& modulePath) {
    if (modulePath.size() < MAX_PATH) return modulePath;
    std::vector<wchar_t> shortPath(MAX_PATH);
    const DWORD n = ::GetShortPathNameW(modulePath.c_str(), shortPath.data(), MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return modulePath;
    return std::wstring(shortPath.data(), n);
}

HRESULT UpdateTypeLibRegistration(const std::wstring& modulePath, bool doRegister) noexcept try {
    const std::wstring path = TypeLibPath(modulePath);
    zrv::com_ptr<ITypeLib> typeLib;
    ZRV_RETURN_IF_FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib.put()));
    if (!doRegister) return UnregisterTypeLib(typeLib.get());
    std::wstring helpDir = path.substr(0, path.find_last_of(L"\\/") + 1);
    return ::RegisterTypeLib(typeLib.get(), const_cast<wchar_t*>(path.c_str()),
                             const_cast<wchar_t*>(helpDir.c_str()));
}
ZRV_CATCH_RETURN()

HRESULT UpdateServerRegistration(bool doRegister) noexcept {
    std::wstring modulePath;
    ZRV_RETURN_IF_FAILED(zrv::ModuleFileName(g_module.Instance(), modulePath));
    for (ObjectMapEntry* entry = ObjectMapBegin(); entry != ObjectMapEnd(); ++entry) {
        ZRV_RETURN_IF_FAILED(UpdateClassRegistration(*entry, modulePath, doRegister));
    }
    return UpdateTypeLibRegistration(modulePath, doRegister);
}

HRESULT UpdateServerRegistrationAlone(bool doRegister) noexcept {
    // The scripts tear class keys down and build them again: two registrations
    // at once (two installers, or two threads) would pull keys out from under
    // each other and fail. One at a time, across processes.
    zrv::unique_handle mutex(::CreateMutexW(nullptr, FALSE, kRegistrationMutexName));
    zrv::mutex_lock serialised(mutex.get(), kRegistrationWaitMs);
    if (mutex && !serialised.owns()) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    const LCID saved = ::GetThreadLocale();
    ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
    const HRESULT hr = UpdateServerRegistration(doRegister);
    ::SetThreadLocale(saved);
    return hr;
}

}  // namespace

HRESULT RegisterServer() noexcept { return UpdateServerRegistrationAlone(true); }

HRESULT UnregisterServer() noexcept { return UpdateServerRegistrationAlone(false); }
