#include "apartment_end.h"

#include <windows.h>
#include <objbase.h>

#include "localization/registrations.h"
#include "support/image_thread_local.h"

namespace zrv {

namespace {

// What the module knows of the calling thread, in one thread-local value: the
// spy is registered, a library is being set up, and how many entries into
// COM libraries made and did not leave.
constexpr ULONG_PTR kWatched = 1;
constexpr ULONG_PTR kCounting = 2;
constexpr ULONG_PTR kOneEntry = 4;

ZRV_IMAGE_THREAD_LOCAL ULONG_PTR g_threadState = 0;

ULONG_PTR& ThreadState() noexcept { return ThisThread(g_threadState); }

// One object serves every thread. It is never freed: the system releases its
// reference only as the thread's own COM data goes at the thread's end.
class ApartmentEndSpy final : public IInitializeSpy {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IInitializeSpy) {
            *object = static_cast<IInitializeSpy*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP PreInitialize(DWORD, DWORD) override { return S_OK; }
    // What this answers becomes CoInitializeEx's own result.
    STDMETHODIMP PostInitialize(HRESULT result, DWORD, DWORD) override {
        ULONG_PTR& state = ThreadState();
        if ((state & kCounting) && SUCCEEDED(result)) state += kOneEntry;
        return result;
    }
    // apartmentRefs counts the thread's entries before this exit, the
    // libraries' left-over ones included: the host leaves its last one when
    // only those remain besides it.
    STDMETHODIMP PreUninitialize(DWORD apartmentRefs) override {
        ULONG_PTR& state = ThreadState();
        const ULONG_PTR libraryEntries = state / kOneEntry;
        if (state & kCounting) {
            if (libraryEntries > 0) state -= kOneEntry;
        } else if (apartmentRefs == libraryEntries + 1) {
            ReleaseThreadLocalizer();
        }
        return S_OK;
    }
    STDMETHODIMP PostUninitialize(DWORD) override { return S_OK; }
};

ApartmentEndSpy g_spy;

}  // namespace

void WatchApartmentEnd() noexcept {
    if (ThreadState() & kWatched) return;
    ULARGE_INTEGER cookie = {};
    // Failing (out of memory), the thread keeps its entry until its
    // thread-detach clean-up, and the next registration tries again.
    if (SUCCEEDED(::CoRegisterInitializeSpy(&g_spy, &cookie))) ThreadState() |= kWatched;
}

LibraryComEntries::LibraryComEntries() noexcept {
    WatchApartmentEnd();
    ULONG_PTR& state = ThreadState();
    if ((state & kWatched) && !(state & kCounting)) {
        state |= kCounting;
        m_counting = true;
    }
}

LibraryComEntries::~LibraryComEntries() {
    if (m_counting) ThreadState() &= ~kCounting;
}

}  // namespace zrv
