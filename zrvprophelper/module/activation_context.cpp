#include "activation_context.h"

#include "support/handles.h"
#include "support/module_instance.h"

namespace zrv {

namespace {

// Null until the first use; then the context, or INVALID_HANDLE_VALUE when
// there is none. No thread ever waits for another to build it: a host may
// kill a thread anywhere (TerminateThread), and a builder killed midway
// would stall every waiter for good. Threads that meet an unbuilt context
// each build one, the first published stays, the others give theirs back.
HANDLE volatile g_context = nullptr;

HANDLE PublishedContext() noexcept {
    return ::InterlockedCompareExchangePointer(const_cast<PVOID volatile*>(&g_context), nullptr,
                                               nullptr);
}

HANDLE BuildContext() noexcept {
    ACTCTXW request{};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    request.hModule = ResourceInstance();  // the image that holds the manifest
    request.lpResourceName = MAKEINTRESOURCEW(2);
    wchar_t path[MAX_PATH];
    if (::GetModuleFileNameW(request.hModule, path, MAX_PATH) == 0) return INVALID_HANDLE_VALUE;
    request.lpSource = path;
    return ::CreateActCtxW(&request);
}

}  // namespace

HANDLE ModuleActivationContext() noexcept {
    const HANDLE published = PublishedContext();
    if (published) return published;
    unique_actctx built(BuildContext());
    const HANDLE value = built && built.get() ? built.get() : INVALID_HANDLE_VALUE;
    const HANDLE before = ::InterlockedCompareExchangePointer(
        const_cast<PVOID volatile*>(&g_context), value, nullptr);
    if (before) return before;  // another thread's came first; ours goes
    built.release();
    return value;
}

void ReleaseModuleActivationContext(bool processEnding) noexcept {
    const HANDLE context =
        ::InterlockedExchangePointer(const_cast<PVOID volatile*>(&g_context), nullptr);
    // At process exit the system may already have torn down what the context
    // refers to: it is left to go with the process.
    if (!context || processEnding) return;
    const unique_actctx owned(context);
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
