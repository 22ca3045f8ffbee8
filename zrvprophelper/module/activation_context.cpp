#include "activation_context.h"

#include "support/handles.h"
#include "support/module_instance.h"

namespace zrv {

namespace {

unique_actctx g_context;
volatile LONG g_contextState = 0;  // 0 not tried, 1 building, 2 done

}  // namespace

HANDLE ModuleActivationContext() noexcept {
    if (::InterlockedCompareExchange(&g_contextState, 1, 0) == 0) {
        ACTCTXW request{};
        request.cbSize = sizeof(request);
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
        request.hModule = ResourceInstance();  // the image that holds the manifest
        request.lpResourceName = MAKEINTRESOURCEW(2);
        wchar_t path[MAX_PATH];
        if (::GetModuleFileNameW(request.hModule, path, MAX_PATH) != 0) {
            request.lpSource = path;
            g_context.reset(::CreateActCtxW(&request));
        }
        ::InterlockedExchange(&g_contextState, 2);
    }
    while (::InterlockedCompareExchange(&g_contextState, 2, 2) != 2) ::Sleep(0);
    return g_context.get();
}

void ReleaseModuleActivationContext(bool processEnding) noexcept {
    // At process exit the system may already have torn down what the context
    // refers to: it is left to go with the process.
    if (processEnding)
        g_context.release();
    else
        g_context.reset();
    ::InterlockedExchange(&g_contextState, 0);
}

ScopedModuleActivation::ScopedModuleActivation() noexcept {
    m_context = ModuleActivationContext();
    if (m_context == INVALID_HANDLE_VALUE) return;
    m_active = ::ActivateActCtx(m_context, &m_cookie) != FALSE;
    m_ok = m_active;
}

ScopedModuleActivation::~ScopedModuleActivation() {
    if (m_active) ::DeactivateActCtx(0, m_cookie);
}

}  // namespace zrv
