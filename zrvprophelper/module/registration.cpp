#include "registration.h"

#include <oleauto.h>

#include <initializer_list>

#include "module/module.h"
#include "module/object_map.h"
#include "module/registry_script.h"
#include "support/bstr.h"
#include "support/com_ptr.h"
#include "support/cstring.h"
#include "support/handles.h"
#include "support/hresult.h"
#include "support/mutex_lock.h"
#include "support/nothrow_vector.h"

namespace {

constexpr wchar_t kRegistrationMutexName[] = L"ZRVPropHelper.Registration";
constexpr DWORD kRegistrationWaitMs = 60000;

// The full path of the module's image, however long.
HRESULT ModuleFileName(CString& path) noexcept {
    for (int size = MAX_PATH;; size *= 2) {
        wchar_t* buffer = path.GetBuffer(size);
        if (!buffer) return E_OUTOFMEMORY;
        const DWORD n = ::GetModuleFileNameW(g_module.Instance(), buffer, static_cast<DWORD>(size));
        if (n == 0) {
            const DWORD error = ::GetLastError();
            path.Empty();
            return HRESULT_FROM_WIN32(error);
        }
        if (n < static_cast<DWORD>(size)) return path.ReleaseBuffer(static_cast<int>(n));
        if (size > INT_MAX / 2) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    }
}

HRESULT UpdateClassRegistration(const ObjectMapEntry& entry, const CString& modulePath,
                                bool doRegister) noexcept {
    zrv::nothrow_vector<zrv::RegistryVariable> variables;
    ZRV_RETURN_IF_FAILED(g_module.AddCommonRGSReplacements(variables));
    ZRV_RETURN_IF_FAILED(variables.push_back(zrv::RegistryVariable{L"MODULE", modulePath}));
    return zrv::RunRegistryScriptResource(g_module.Instance(), entry.registryScript, doRegister,
                                          variables.begin(), variables.size());
}

// Whether the system still holds a registration of the library: asked of the
// registration itself, since loading the library also fails when only its file
// is gone.
bool TypeLibStillRegistered(const TLIBATTR& attr) noexcept {
    CComBSTR path;
    const HRESULT hr = ::QueryPathOfRegTypeLib(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum,
                                               attr.lcid, path.put());
    return hr != TYPE_E_LIBNOTREGISTERED;
}

bool HasSubkeysBut(const wchar_t* path, std::initializer_list<const wchar_t*> allowed) noexcept {
    zrv::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
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
// The three keys' paths have a bounded length and are made on the stack.
void RemoveTypeLibRemains(const TLIBATTR& attr) noexcept {
    wchar_t guid[40] = {};
    if (::StringFromGUID2(attr.guid, guid, ARRAYSIZE(guid)) == 0) return;
    wchar_t library[64];
    ::wsprintfW(library, L"TypeLib\\%s", guid);
    wchar_t version[96];
    ::wsprintfW(version, L"%s\\%x.%x", library, attr.wMajorVerNum, attr.wMinorVerNum);
    wchar_t locale[128];
    ::wsprintfW(locale, L"%s\\%lx", version, static_cast<unsigned long>(attr.lcid));
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, locale);
    if (!HasSubkeysBut(version, {L"FLAGS", L"HELPDIR"}))
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, version);
    if (!HasSubkeysBut(library, {})) ::RegDeleteKeyW(HKEY_CLASSES_ROOT, library);
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
// A module path of MAX_PATH characters or more comes back as it is when it
// has no short form.
HRESULT TypeLibPath(const CString& modulePath, CString& path) noexcept {
    path = modulePath;
    if (modulePath.GetLength() < MAX_PATH) return S_OK;
    wchar_t shortPath[MAX_PATH];
    const DWORD n = ::GetShortPathNameW(modulePath, shortPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return S_OK;
    return path.SetString(shortPath, static_cast<int>(n));
}

HRESULT UpdateTypeLibRegistration(const CString& modulePath, bool doRegister) noexcept {
    CString path;
    ZRV_RETURN_IF_FAILED(TypeLibPath(modulePath, path));
    zrv::com_ptr<ITypeLib> typeLib;
    ZRV_RETURN_IF_FAILED(::LoadTypeLibEx(path, REGKIND_NONE, typeLib.put()));
    if (!doRegister) return UnregisterTypeLib(typeLib.get());
    int folderEnd = 0;  // just past the last separator
    for (int i = 0; i < path.GetLength(); ++i) {
        if (path[i] == L'\\' || path[i] == L'/') folderEnd = i + 1;
    }
    CString helpDir;
    ZRV_RETURN_IF_FAILED(helpDir.SetString(path, folderEnd));
    // The system takes the texts as writable, and writes neither.
    return ::RegisterTypeLib(typeLib.get(), const_cast<wchar_t*>(path.GetString()),
                             const_cast<wchar_t*>(helpDir.GetString()));
}

HRESULT UpdateServerRegistration(bool doRegister) noexcept {
    CString modulePath;
    ZRV_RETURN_IF_FAILED(ModuleFileName(modulePath));
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
