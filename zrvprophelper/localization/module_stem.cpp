// The module's name as the localizer knows it: the long file name without
// folder and extension, even when the module was loaded through a short path.

#include <shlobj.h>
#include <shlwapi.h>

#include "localization/localizer.h"
#include "support/com_ptr.h"
#include "support/handles.h"
#include "support/module_instance.h"

int GetShellLongPath(const wchar_t* path, wchar_t* output, int capacity) noexcept {
    if (!path || ::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return 0;
    wchar_t full[MAX_PATH] = {};
    const DWORD fullLength = ::GetFullPathNameW(path, MAX_PATH, full, nullptr);
    if (fullLength == 0) return 0;
    if (fullLength >= MAX_PATH) {
        ::SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    zrv::com_ptr<IShellFolder> desktop;
    if (FAILED(::SHGetDesktopFolder(desktop.put())) || !desktop) {
        return static_cast<int>(fullLength);
    }
    PIDLIST_RELATIVE items = nullptr;
    const HRESULT parsed =
        desktop->ParseDisplayName(nullptr, nullptr, full, nullptr, &items, nullptr);
    // The shell's allocator is the COM task allocator.
    const zrv::unique_cotaskmem ownedItems(items);
    if (FAILED(parsed)) {
        ::SetLastError(HRESULT_FACILITY(parsed) == FACILITY_WIN32 ? HRESULT_CODE(parsed)
                                                                  : ERROR_INVALID_DATA);
        return 0;
    }
    wchar_t longPath[MAX_PATH] = {};
    // An empty result is a failure too: the caller keeps the name it had,
    // rather than a module with no name at all.
    if (!::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(items), longPath) ||
        longPath[0] == L'\0') {
        ::SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    const int length = lstrlenW(longPath);
    if (!output || length + 1 > capacity) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return length + 1;
    }
    ::lstrcpynW(output, longPath, capacity);
    return length;
}

namespace {

// Resolving the long form of a name through the shell costs far more than the
// rest of a lookup, and a loaded module's name does not change: the stem of
// the last file name resolved is kept, keyed by that name as the system
// reports it.
SRWLOCK g_stemLock = SRWLOCK_INIT;
CString g_stemPath;
CString g_stem;

}  // namespace

bool GetModuleStem(HMODULE module, CString* stem) noexcept {
    if (!stem) return false;
    if (!module) module = zrv::ResourceInstance();
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;

    ::AcquireSRWLockShared(&g_stemLock);
    const bool known = !g_stemPath.IsEmpty() && g_stemPath == path;
    if (known) *stem = g_stem;
    ::ReleaseSRWLockShared(&g_stemLock);
    if (known) return true;

    CString reported;
    if (FAILED(reported.SetString(path, static_cast<int>(length)))) return false;
    GetShellLongPath(path, path, MAX_PATH);
    wchar_t* name = ::PathFindFileNameW(path);
    ::PathRemoveExtensionW(name);
    CString found;
    if (FAILED(found.SetString(name))) return false;
    *stem = found;

    ::AcquireSRWLockExclusive(&g_stemLock);
    g_stemPath = reported;
    g_stem = found;
    ::ReleaseSRWLockExclusive(&g_stemLock);
    return true;
}
