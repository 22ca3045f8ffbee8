#pragma once
// The thread's localizer, found through the product's shared map. One object
// serves one lookup (or the localization of one page) and is then destroyed.
//
// The first lookup in a thread creates the application services in-process
// and registers the pointer in the map; later lookups of the thread reuse it.
// Without the map, the out-of-process server answers instead. Every access to
// the map stays inside the mapping's real size, whatever its header says.

#include <windows.h>

#include "components/component_ids.h"
#include "localization/localizer_map.h"
#include "localization/localizer_map_view.h"
#include "localization/registrations.h"
#include "support/com_ptr.h"
#include "support/cstring.h"
#include "support/handles.h"

class CZRVLocalizer {
  public:
    // module null means this module; its file name, without folder and
    // extension, names the module in every request.
    explicit CZRVLocalizer(HMODULE module = nullptr) noexcept;
    CZRVLocalizer(const CZRVLocalizer&) = delete;
    CZRVLocalizer& operator=(const CZRVLocalizer&) = delete;
    ~CZRVLocalizer();

    // Replaces text (the default on entry) with the translation of string
    // id: S_OK. S_FALSE, with text unchanged, when there is none;
    // E_OUTOFMEMORY, with text unchanged, when the request's texts or the
    // answer's cannot be made.
    HRESULT LocalizeString(UINT id, CString& text) noexcept;

    IAppLocalizer* Localizer() const noexcept { return m_localizer.get(); }
    const CString& ModuleStem() const noexcept { return m_moduleStem; }
    LONG SlotIndex() const noexcept { return m_slotIndex; }

  private:
    void ReleaseEntry() noexcept;
    bool FindThreadEntry(LONG* ownIds) noexcept;
    bool RegisterCreated(IAppLocalizer* created, LONG ownIds, IAppLocalizer** superseded) noexcept;
    LocalizerMap* Map() const noexcept { return m_map.map(); }
    IAppLocalizer* GiveUpEntry(const zrv::ReplacedRegistration& replaced, LONG newSlot,
                               LONG capacity) noexcept;

    LocalizerMapView m_map;
    LONG m_slotIndex = -1;
    zrv::unique_handle m_mutex;
    zrv::com_ptr<IAppLocalizer> m_localizer;
    CString m_moduleStem;
};

// The module's file name without folder and extension, in its long form;
// false, with stem unchanged, when it cannot be had (out of memory too).
bool GetModuleStem(HMODULE module, CString* stem) noexcept;
int GetShellLongPath(const wchar_t* path, wchar_t* output, int capacity) noexcept;
