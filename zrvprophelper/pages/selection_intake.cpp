#include "selection_intake.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

#include "../support/com_ptr.h"

namespace {

constexpr UINT kPathBuffer = 260;

class StgMediumHolder {
  public:
    StgMediumHolder() noexcept { std::memset(&m_medium, 0, sizeof(m_medium)); }
    StgMediumHolder(const StgMediumHolder&) = delete;
    StgMediumHolder& operator=(const StgMediumHolder&) = delete;
    ~StgMediumHolder() {
        if (m_filled) ::ReleaseStgMedium(&m_medium);
    }
    STGMEDIUM* put() noexcept {
        m_filled = true;
        return &m_medium;
    }
    STGMEDIUM& get() noexcept { return m_medium; }

  private:
    STGMEDIUM m_medium;
    bool m_filled = false;
};

// A drop list is a DROPFILES header followed by NUL-terminated names and one
// more NUL. The host's memory is checked before the shell walks it, so a
// malformed block is refused instead of being read past its end.
bool IsWellFormedDropList(HGLOBAL memory, const void* locked) noexcept {
    const SIZE_T size = ::GlobalSize(memory);
    if (size < sizeof(DROPFILES)) return false;
    const auto* header = static_cast<const DROPFILES*>(locked);
    if (header->pFiles < sizeof(DROPFILES) || header->pFiles >= size) return false;
    const auto* bytes = static_cast<const BYTE*>(locked);
    const SIZE_T unit = header->fWide ? sizeof(wchar_t) : sizeof(char);
    bool previousWasNul = false;
    for (SIZE_T at = header->pFiles; at + unit <= size; at += unit) {
        const bool nul = unit == 2 ? (bytes[at] == 0 && bytes[at + 1] == 0) : bytes[at] == 0;
        if (nul && (previousWasNul || at == header->pFiles)) return true;
        previousWasNul = nul;
    }
    return false;
}

// The stored target of a shortcut, read into buffer. False when the link
// cannot be created, loaded or read.
bool ReadShortcutTarget(const wchar_t* name, wchar_t* buffer) {
    zrv::com_ptr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_IShellLinkW,
                                  link.put_void())) ||
        !link) {
        return false;
    }
    zrv::com_ptr<IPersistFile> file;
    if (FAILED(link.query(IID_IPersistFile, file)) || !file) return false;
    if (FAILED(file->Load(name, STGM_READ))) return false;
    // S_FALSE (no path stored) still counts: whatever the buffer holds is taken.
    return SUCCEEDED(link->GetPath(buffer, kPathBuffer, nullptr, 0));
}

}  // namespace

HRESULT ReadSelection(IDataObject* data, FileSelection& selection) {
    if (!data) return E_INVALIDARG;

    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    StgMediumHolder medium;
    if (FAILED(data->GetData(&format, medium.put()))) return E_INVALIDARG;
    if (medium.get().tymed != TYMED_HGLOBAL) return E_INVALIDARG;

    HGLOBAL memory = medium.get().hGlobal;
    void* locked = ::GlobalLock(memory);
    if (!locked) return E_INVALIDARG;
    struct Unlock {
        HGLOBAL memory;
        ~Unlock() { ::GlobalUnlock(memory); }
    } unlock{memory};

    selection.clear();
    if (!IsWellFormedDropList(memory, locked)) return E_INVALIDARG;

    HDROP drop = static_cast<HDROP>(memory);
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    wchar_t buffer[kPathBuffer] = {};
    for (UINT i = 0; i < count; ++i) {
        if (::DragQueryFileW(drop, i, buffer, kPathBuffer) == 0) continue;
        if (::PathIsDirectoryW(buffer)) continue;

        SHFILEINFOW info;
        std::memset(&info, 0, sizeof(info));
        if (::SHGetFileInfoW(buffer, 0, &info, sizeof(info), SHGFI_ATTRIBUTES) == 0) continue;

        if (info.dwAttributes & SFGAO_LINK) {
            const CString name(buffer);
            if (!ReadShortcutTarget(name.GetString(), buffer)) continue;
        }
        selection.emplace_back(buffer);
    }

    if (selection.size() > kMaxSelection) selection.resize(kMaxSelection);
    return selection.empty() ? E_FAIL : S_OK;
}
