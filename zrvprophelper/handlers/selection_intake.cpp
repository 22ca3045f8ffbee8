#include "selection_intake.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <utility>

#include "support/com_ptr.h"
#include "support/handles.h"
#include "support/hresult.h"

namespace {

constexpr UINT kPathBuffer = 260;

enum class DropList { Malformed, Empty, Names };

// A drop list is a DROPFILES header followed by NUL-terminated names and one
// more NUL. The host's memory is checked before the shell walks it, so a
// malformed block is refused instead of being read past its end. A list whose
// first name is the terminator holds no names at all: the shell would step
// over that terminator and read whatever follows it as names.
DropList ClassifyDropList(HGLOBAL memory, const void* locked) noexcept {
    const SIZE_T size = ::GlobalSize(memory);
    if (size < sizeof(DROPFILES)) return DropList::Malformed;
    const auto* header = static_cast<const DROPFILES*>(locked);
    if (header->pFiles < sizeof(DROPFILES) || header->pFiles >= size) return DropList::Malformed;
    const auto* bytes = static_cast<const BYTE*>(locked);
    const SIZE_T unit = header->fWide ? sizeof(wchar_t) : sizeof(char);
    bool previousWasNul = false;
    for (SIZE_T at = header->pFiles; at + unit <= size; at += unit) {
        const bool nul = unit == 2 ? (bytes[at] == 0 && bytes[at + 1] == 0) : bytes[at] == 0;
        if (nul && at == header->pFiles) return DropList::Empty;
        if (nul && previousWasNul) return DropList::Names;
        previousWasNul = nul;
    }
    return DropList::Malformed;
}

// Walks the names of a list that ClassifyDropList accepted, each once. The
// shell's DragQueryFileW starts again from the first name on every call, so
// reading a long list through it costs the square of its length; and names
// that are skipped do not count toward the hundred taken, so a long list of
// missing files would be read to its end that way.
class DropNameReader {
  public:
    explicit DropNameReader(const void* locked) noexcept
        : m_at(static_cast<const BYTE*>(locked) + static_cast<const DROPFILES*>(locked)->pFiles),
          m_wide(static_cast<const DROPFILES*>(locked)->fWide != FALSE) {}

    // Steps to the next name; false at the end of the list. fits tells
    // whether the name, as DragQueryFileW gives it, fits whole in buffer
    // (kPathBuffer units with its NUL); only then is it copied there.
    bool Next(wchar_t* buffer, bool& fits) noexcept {
        return m_wide ? NextWide(buffer, fits) : NextAnsi(buffer, fits);
    }

  private:
    // The list may start at an odd offset, so units are read byte by byte.
    wchar_t UnitAt(size_t index) const noexcept {
        return static_cast<wchar_t>(m_at[2 * index] | (m_at[2 * index + 1] << 8));
    }

    bool NextWide(wchar_t* buffer, bool& fits) noexcept {
        if (UnitAt(0) == L'\0') return false;
        size_t length = 0;
        for (wchar_t unit; (unit = UnitAt(length)) != L'\0'; ++length) {
            if (length < kPathBuffer) buffer[length] = unit;
        }
        fits = length < kPathBuffer;
        if (fits) buffer[length] = L'\0';
        m_at += 2 * (length + 1);
        return true;
    }

    // An ANSI name is converted as the shell converts it for DragQueryFileW,
    // from the ANSI code page, and must fit once converted.
    bool NextAnsi(wchar_t* buffer, bool& fits) noexcept {
        const auto* name = reinterpret_cast<const char*>(m_at);
        if (*name == '\0') return false;
        const size_t bytes = std::strlen(name);
        const int units = ::MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
        fits = units > 0 && static_cast<UINT>(units) <= kPathBuffer &&
               ::MultiByteToWideChar(CP_ACP, 0, name, -1, buffer, kPathBuffer) == units;
        m_at += bytes + 1;
        return true;
    }

    const BYTE* m_at;
    bool m_wide;
};

// The stored target of a shortcut, read into target (kPathBuffer units).
// False when the link cannot be created, loaded or read, or when its target
// does not fit: a cut target may name another file.
bool ReadShortcutTarget(const wchar_t* name, wchar_t* target) noexcept {
    zrv::com_ptr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_IShellLinkW,
                                  link.put_void())) ||
        !link) {
        return false;
    }
    zrv::com_ptr<IPersistFile> file;
    if (FAILED(link.query(IID_IPersistFile, file)) || !file) return false;
    if (FAILED(file->Load(name, STGM_READ))) return false;
    // One unit more than a target may use, so that a cut one shows its length.
    wchar_t read[kPathBuffer + 1] = {};
    // S_FALSE (no path stored) still counts: whatever the buffer holds is taken.
    if (FAILED(link->GetPath(read, kPathBuffer + 1, nullptr, 0))) return false;
    const size_t length = ::wcsnlen(read, kPathBuffer + 1);
    if (length >= kPathBuffer) return false;
    std::memcpy(target, read, (length + 1) * sizeof(wchar_t));
    return true;
}

}  // namespace

HRESULT ReadSelection(IDataObject* data, FileSelection& selection) noexcept {
    if (!data) return E_INVALIDARG;

    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    zrv::unique_stgmedium medium;
    if (FAILED(data->GetData(&format, medium.put()))) {
        // A data object may leave a half-filled medium behind when it fails;
        // releasing it could free memory or a reference that is still its own.
        medium.release();
        return E_INVALIDARG;
    }
    if (medium.get().tymed != TYMED_HGLOBAL) return E_INVALIDARG;

    HGLOBAL memory = medium.get().hGlobal;
    void* locked = ::GlobalLock(memory);
    if (!locked) return E_INVALIDARG;
    zrv::scope_exit unlock([memory] { ::GlobalUnlock(memory); });

    selection.clear();
    switch (ClassifyDropList(memory, locked)) {
        case DropList::Malformed:
            return E_INVALIDARG;
        case DropList::Empty:
            return E_FAIL;
        case DropList::Names:
            break;
    }

    // Names after the hundredth entry change nothing that any page is shown,
    // so they are not examined: each costs the shell a trip to the disk, on
    // the host's user-interface thread.
    DropNameReader names(locked);
    wchar_t buffer[kPathBuffer] = {};
    bool fits = false;
    while (selection.size() < kMaxSelection && names.Next(buffer, fits)) {
        // A name cut to the buffer may name another file.
        if (!fits) continue;
        if (::PathIsDirectoryW(buffer)) continue;

        SHFILEINFOW info;
        std::memset(&info, 0, sizeof(info));
        if (::SHGetFileInfoW(buffer, 0, &info, sizeof(info), SHGFI_ATTRIBUTES) == 0) continue;

        if (info.dwAttributes & SFGAO_LINK) {
            wchar_t name[kPathBuffer];
            std::memcpy(name, buffer, sizeof(name));
            if (!ReadShortcutTarget(name, buffer)) continue;
        }
        CString path;
        ZRV_RETURN_IF_FAILED(path.SetString(buffer));
        ZRV_RETURN_IF_FAILED(selection.push_back(std::move(path)));
    }
    return selection.empty() ? E_FAIL : S_OK;
}
