#pragma once
// The module object: one static instance made when the DLL loads. It owns
// the server lock count that DllCanUnloadNow reports.

#include <windows.h>
#include <objidl.h>

#include "module/registry_script.h"
#include "support/com_ptr.h"
#include "support/nothrow_vector.h"

class CZRVPropHelperModule {
  public:
    CZRVPropHelperModule() noexcept;
    CZRVPropHelperModule(const CZRVPropHelperModule&) = delete;
    CZRVPropHelperModule& operator=(const CZRVPropHelperModule&) = delete;

    // Slot order matters to nobody outside, but it mirrors the platform
    // module classes that the rest of the product is used to.
    virtual ~CZRVPropHelperModule();
    virtual LONG Lock() noexcept;
    virtual LONG Unlock() noexcept;
    virtual LONG GetLockCount() const noexcept;
    // Idle: no page hands an interface to another thread yet; every module
    // class of the product offers it, so it stays, made on first request.
    virtual HRESULT GetGITPtr(IGlobalInterfaceTable** git) noexcept;
    virtual HRESULT AddCommonRGSReplacements(
        zrv::nothrow_vector<zrv::RegistryVariable>& variables) noexcept;

    // Process attach and detach. Attach fails when the module's lock cannot
    // be set up, and then the loader refuses the DLL.
    bool Attach(HINSTANCE instance) noexcept;
    // Interfaces and the activation context are released only when the
    // module is freed while the process goes on: at process exit other DLLs
    // may already be gone.
    void Detach(bool processEnding) noexcept;

    HINSTANCE Instance() const noexcept { return m_instance; }
    bool FailedStart() const noexcept { return m_failedStart; }
    const GUID& TypeLibId() const noexcept { return m_typeLibId; }

  private:
    volatile LONG m_lockCount = 0;
    GUID m_typeLibId;
    HINSTANCE m_instance = nullptr;
    bool m_failedStart = false;
    bool m_lockReady = false;
    CRITICAL_SECTION m_lock{};
    zrv::com_ptr<IGlobalInterfaceTable> m_git;
};

extern CZRVPropHelperModule g_module;

// Holds one module lock for as long as it lives.
class ModuleLockHolder {
  public:
    ModuleLockHolder() noexcept { g_module.Lock(); }
    ModuleLockHolder(const ModuleLockHolder&) noexcept { g_module.Lock(); }
    ModuleLockHolder& operator=(const ModuleLockHolder&) noexcept { return *this; }
    ~ModuleLockHolder() { g_module.Unlock(); }
};
