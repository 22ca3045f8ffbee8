#pragma once
// The module's activation context, built from its manifest resource 2, so
// that the pages and the windows they create get version 6 common controls
// whatever the host process's own manifest says.

#include <windows.h>

namespace zrv {

// The context, or INVALID_HANDLE_VALUE when the module has none (or the
// system has no activation contexts). Built on first use, kept until unload.
HANDLE ModuleActivationContext() noexcept;
// Called when the module is detached; each load builds its own context.
void ReleaseModuleActivationContext(bool processEnding) noexcept;

// Activates the module's context for one scope. ok() is false when a context
// exists but could not be activated; without a context it is a no-op.
class ScopedModuleActivation {
  public:
    ScopedModuleActivation() noexcept;
    ScopedModuleActivation(const ScopedModuleActivation&) = delete;
    ScopedModuleActivation& operator=(const ScopedModuleActivation&) = delete;
    ~ScopedModuleActivation();

    bool ok() const noexcept { return m_ok; }
    HANDLE context() const noexcept { return m_context; }

  private:
    HANDLE m_context = INVALID_HANDLE_VALUE;
    ULONG_PTR m_cookie = 0;
    bool m_active = false;
    bool m_ok = true;
};

}  // namespace zrv
