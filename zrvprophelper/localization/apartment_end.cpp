#include "apartment_end.h"

#include <windows.h>
#include <objbase.h>

#include "localization/registrations.h"

namespace zrv {

namespace {

// What the module knows of the calling thread, in one thread-local value: the
// spy is registered, a library is being set up, and how many entries into
// COM libraries made and did not leave.
constexpr ULONG_PTR kWatched = 1;
constexpr ULONG_PTR kCounting = 2;
constexpr ULONG_PTR kOneEntry = 4;

// Made once and never freed, like the image that uses it, which stays loaded
// once an entry exists.
volatile LONG g_stateSlot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

DWORD StateSlot() noexcept {
    const LONG none = static_cast<LONG>(TLS_OUT_OF_INDEXES);
    DWORD slot = static_cast<DWORD>(::InterlockedCompareExchange(&g_stateSlot, 0, 0));
    if (slot != TLS_OUT_OF_INDEXES) return slot;
    slot = ::TlsAlloc();
    if (slot == TLS_OUT_OF_INDEXES) return slot;
    const LONG before = ::InterlockedCompareExchange(&g_stateSlot, static_cast<LONG>(slot), none);
    if (before == none) return slot;
    ::TlsFree(slot);  // another thread made it first
    return static_cast<DWORD>(before);
}

ULONG_PTR ThreadState() noexcept {
    const DWORD slot = static_cast<DWORD>(::InterlockedCompareExchange(&g_stateSlot, 0, 0));
    if (slot == TLS_OUT_OF_INDEXES) return 0;
    return reinterpret_cast<ULONG_PTR>(::TlsGetValue(slot));
}

void SetThreadState(ULONG_PTR state) noexcept {
    const DWORD slot = static_cast<DWORD>(::InterlockedCompareExchange(&g_stateSlot, 0, 0));
    if (slot != TLS_OUT_OF_INDEXES) ::TlsSetValue(slot, reinterpret_cast<void*>(state));
}

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
        const ULONG_PTR state = ThreadState();
        if ((state & kCounting) && SUCCEEDED(result)) SetThreadState(state + kOneEntry);
        return result;
    }
    // apartmentRefs counts the thread's entries before this exit, the
    // libraries' left-over ones included: the host leaves its last one when
    // only those remain besides it.
    STDMETHODIMP PreUninitialize(DWORD apartmentRefs) override {
        const ULONG_PTR state = ThreadState();
        const ULONG_PTR libraryEntries = state / kOneEntry;
        if (state & kCounting) {
            if (libraryEntries > 0) SetThreadState(state - kOneEntry);
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
    if (StateSlot() == TLS_OUT_OF_INDEXES) return;
    const ULONG_PTR state = ThreadState();
    if (state & kWatched) return;
    ULARGE_INTEGER cookie = {};
    // Failing (out of memory), the thread keeps its entry until its
    // thread-detach clean-up, and the next registration tries again.
    if (SUCCEEDED(::CoRegisterInitializeSpy(&g_spy, &cookie))) SetThreadState(state | kWatched);
}

LibraryComEntries::LibraryComEntries() noexcept {
    WatchApartmentEnd();
    const ULONG_PTR state = ThreadState();
    if ((state & kWatched) && !(state & kCounting)) {
        SetThreadState(state | kCounting);
        m_counting = true;
    }
}

LibraryComEntries::~LibraryComEntries() {
    if (m_counting) SetThreadState(ThreadState() & ~kCounting);
}

}  // namespace zrv
