#include "module.h"

#include "module/activation_context.h"
#include "module/ids.h"
#include "support/image_pin.h"

CZRVPropHelperModule g_module;

CZRVPropHelperModule::CZRVPropHelperModule() noexcept : m_typeLibId(LIBID_ZRVPropHelperLib) {}

CZRVPropHelperModule::~CZRVPropHelperModule() = default;

LONG CZRVPropHelperModule::Lock() noexcept { return ::InterlockedIncrement(&m_lockCount); }

LONG CZRVPropHelperModule::Unlock() noexcept { return ::InterlockedDecrement(&m_lockCount); }

LONG CZRVPropHelperModule::GetLockCount() const noexcept {
    return ::InterlockedCompareExchange(const_cast<volatile LONG*>(&m_lockCount), 0, 0);
}

HRESULT CZRVPropHelperModule::GetGITPtr(IGlobalInterfaceTable** git) noexcept {
    if (!git) return E_POINTER;
    *git = nullptr;
    if (!m_lockReady) return E_UNEXPECTED;
    HRESULT hr = S_OK;
    ::EnterCriticalSection(&m_lock);
    if (!m_git) {
        hr = ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IGlobalInterfaceTable, m_git.put_void());
    }
    if (m_git) *git = zrv::com_ptr<IGlobalInterfaceTable>(m_git).detach();
    ::LeaveCriticalSection(&m_lock);
    return hr;
}

HRESULT CZRVPropHelperModule::AddCommonRGSReplacements(
    zrv::nothrow_vector<zrv::RegistryVariable>& variables) noexcept {
    return variables.push_back(zrv::RegistryVariable{L"APPID", L""});
}

bool CZRVPropHelperModule::Attach(HINSTANCE instance) noexcept {
    m_instance = instance;
    if (!::InitializeCriticalSectionAndSpinCount(&m_lock, 0)) {
        m_failedStart = true;
        return false;
    }
    m_lockReady = true;
    // Should the loader refuse, the first page asks again.
    zrv::PinThisImage();
    return true;
}

void CZRVPropHelperModule::Detach(bool processEnding) noexcept {
    if (processEnding)
        m_git.detach();
    else
        m_git.reset();
    // Each load builds its own context; one left behind leaks per load.
    zrv::ReleaseModuleActivationContext(processEnding);
    if (m_lockReady) {
        ::DeleteCriticalSection(&m_lock);
        m_lockReady = false;
    }
}
