#include "server_registration.h"

#include <oleauto.h>

#include "components/component_ids.h"
#include "support/caught_exception.h"
#include "support/class_registration.h"
#include "support/com_ptr.h"
#include "support/handles.h"

namespace zrvappsvc {

namespace {

constexpr wchar_t kClassName[] = L"AppServices";

const wchar_t* ServerSubkey(ServerKind kind) {
    return kind == ServerKind::InProcess ? L"InprocServer32" : L"LocalServer32";
}

bool Gone(LSTATUS status) {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

}  // namespace

HRESULT RegisterAppServices(ServerKind kind, const std::wstring& imagePath) try {
    if (kind == ServerKind::InProcess)
        return zrv::RegisterInprocClass(CLSID_AppServices, kClassName, imagePath);
    zrv::unique_hkey classKey;
    ZRV_RETURN_IF_FAILED(zrv::CreateRegistryKey(
        HKEY_CLASSES_ROOT, zrv::ClassKeyPath(CLSID_AppServices).c_str(), classKey));
    ZRV_RETURN_IF_FAILED(zrv::SetRegistryString(classKey.get(), nullptr, kClassName));
    zrv::unique_hkey serverKey;
    ZRV_RETURN_IF_FAILED(zrv::CreateRegistryKey(classKey.get(), ServerSubkey(kind), serverKey));
    // Quoted, so that a path with blanks is not split into program and
    // arguments when the system appends -Embedding.
    return zrv::SetRegistryString(serverKey.get(), nullptr, (L"\"" + imagePath + L"\"").c_str());
}
ZRV_CATCH_RETURN()

HRESULT UnregisterAppServices(ServerKind kind) try {
    const std::wstring classPath = zrv::ClassKeyPath(CLSID_AppServices);
    zrv::unique_hkey classKey;
    LSTATUS status = ::RegOpenKeyExW(HKEY_CLASSES_ROOT, classPath.c_str(), 0, KEY_READ | KEY_WRITE,
                                     classKey.put());
    if (Gone(status)) return S_OK;
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);

    status = ::RegDeleteKeyW(classKey.get(), ServerSubkey(kind));
    if (status != ERROR_SUCCESS && !Gone(status)) return HRESULT_FROM_WIN32(status);

    DWORD subkeys = 0;
    status = ::RegQueryInfoKeyW(classKey.get(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    if (subkeys != 0) return S_OK;  // the other server is still registered
    classKey.reset();
    status = ::RegDeleteKeyW(HKEY_CLASSES_ROOT, classPath.c_str());
    return status == ERROR_SUCCESS || Gone(status) ? S_OK : HRESULT_FROM_WIN32(status);
}
ZRV_CATCH_RETURN()

HRESULT RegisterEmbeddedTypeLib(const std::wstring& imagePath) try {
    zrv::com_ptr<ITypeLib> typeLib;
    ZRV_RETURN_IF_FAILED(::LoadTypeLibEx(imagePath.c_str(), REGKIND_NONE, typeLib.put()));
    std::wstring helpDir = imagePath.substr(0, imagePath.find_last_of(L"\\/") + 1);
    std::wstring path = imagePath;
    return ::RegisterTypeLib(typeLib.get(), path.data(), helpDir.data());
}
ZRV_CATCH_RETURN()

HRESULT UnregisterEmbeddedTypeLib(const std::wstring& imagePath) try {
    zrv::com_ptr<ITypeLib> typeLib;
    ZRV_RETURN_IF_FAILED(::LoadTypeLibEx(imagePath.c_str(), REGKIND_NONE, typeLib.put()));
    TLIBATTR* attr = nullptr;
    ZRV_RETURN_IF_FAILED(typeLib->GetLibAttr(&attr));
    const TLIBATTR library = *attr;
    typeLib->ReleaseTLibAttr(attr);
    HRESULT hr = ::UnRegisterTypeLib(library.guid, library.wMajorVerNum, library.wMinorVerNum,
                                     library.lcid, library.syskind);
    // A library that is not registered (any more) is not a failure.
    if (FAILED(hr)) {
        zrv::com_ptr<ITypeLib> registered;
        if (FAILED(::LoadRegTypeLib(library.guid, library.wMajorVerNum, library.wMinorVerNum,
                                    library.lcid, registered.put()))) {
            hr = S_OK;
        }
    }
    return hr;
}
ZRV_CATCH_RETURN()

}  // namespace zrvappsvc
