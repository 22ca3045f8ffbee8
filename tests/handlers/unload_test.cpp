// The module as the browser loads it: through COM, from its registration.
// The host lets go of the handlers right after AddPages and may free unused
// libraries at any time while the sheet is still on screen.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "common/import_hook.h"
#include "common/sheet_host.h"
#include "common/test_paths.h"
#include "handlers/shell_fixtures.h"
#include "module/activation_context.h"
#include "module/ids.h"
#include "module/module.h"
#include "support/handles.h"

using namespace zrvtest;

namespace {

// One properties dialog: handlers made and released, every unused library
// freed, then every tab visited and the sheet closed.
void ShowSheetWhileTheHostFreesLibraries(const std::wstring& file) {
    zrvproduct::CollectedPages collected = zrvproduct::CollectPages({file});
    ASSERT_EQ(3u, collected.pages.size());
    HMODULE module = ::GetModuleHandleW(ModulePath().c_str());
    ASSERT_TRUE(module) << "COM loaded the registered module";
    auto canUnloadNow = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_TRUE(canUnloadNow);

    HWND sheet = zrvproduct::CreateModelessSheet(file, collected.pages);
    ASSERT_TRUE(sheet);
    // Long enough for the General page's size worker to end and give back
    // its own reference on the module.
    zrvproduct::PumpMessagesFor(sheet, 300);
    EXPECT_EQ(S_OK, canUnloadNow()) << "open pages hold no server lock";

    ::CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_EQ(module, ::GetModuleHandleW(ModulePath().c_str())) << "the module stays mapped";
    for (int tab : {1, 2, 0, 2}) {
        PropSheet_SetCurSel(sheet, nullptr, tab);
        zrvproduct::PumpMessages(sheet);
        EXPECT_TRUE(PropSheet_GetCurrentPageHwnd(sheet)) << "tab " << tab;
    }
    ::DestroyWindow(sheet);
    zrvproduct::PumpMessages(nullptr);
    EXPECT_EQ(S_OK, canUnloadNow());
    ::CoFreeUnusedLibrariesEx(0, 0);
}

// Records which activation contexts the program gives back.
HANDLE g_releasedContext = nullptr;
void(WINAPI* g_realRelease)(HANDLE) = nullptr;
void WINAPI RecordRelease(HANDLE context) {
    g_releasedContext = context;
    g_realRelease(context);
}

// The module object of this program stands in for the loaded module: Detach
// with a process that goes on is what FreeLibrary does to it.
TEST(ModuleUnload, FreeingTheModuleReleasesItsActivationContext) {
    const HANDLE context = zrv::ModuleActivationContext();
    ASSERT_NE(INVALID_HANDLE_VALUE, context);
    {
        ImportHook hook(L"kernel32.dll", "ReleaseActCtx", reinterpret_cast<void*>(&RecordRelease));
        ASSERT_TRUE(hook.ok());
        g_realRelease = hook.real<void(WINAPI*)(HANDLE)>();
        g_module.Detach(false);
    }
    EXPECT_EQ(context, g_releasedContext) << "the context is freed with the module";
    ASSERT_TRUE(g_module.Attach(g_module.Instance()));
    EXPECT_NE(INVALID_HANDLE_VALUE, zrv::ModuleActivationContext()) << "the next load builds anew";
}

// A builder of the activation context that the host kills midway, as a host
// may kill a dialog thread anywhere: the first call stops inside the build.
HANDLE(WINAPI* g_realCreate)(const ACTCTXW*) = nullptr;
HANDLE g_buildEntered = nullptr;
volatile LONG g_stallNextBuild = 0;
HANDLE WINAPI StallingCreate(const ACTCTXW* request) {
    if (::InterlockedExchange(&g_stallNextBuild, 0)) {
        ::SetEvent(g_buildEntered);
        ::Sleep(INFINITE);
    }
    return g_realCreate(request);
}

DWORD WINAPI AskForContext(void* context) {
    *static_cast<HANDLE*>(context) = zrv::ModuleActivationContext();
    return 0;
}

TEST(ModuleUnload, AThreadKilledWhileBuildingTheContextStallsNoOther) {
    g_module.Detach(false);  // a fresh load: the context is not built yet
    ASSERT_TRUE(g_module.Attach(g_module.Instance()));
    ImportHook hook(L"kernel32.dll", "CreateActCtxW", reinterpret_cast<void*>(&StallingCreate));
    ASSERT_TRUE(hook.ok());
    g_realCreate = hook.real<HANDLE(WINAPI*)(const ACTCTXW*)>();
    zrv::unique_handle entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_buildEntered = entered.get();
    g_stallNextBuild = 1;

    HANDLE killedContext = nullptr;
    zrv::unique_handle builder(
        ::CreateThread(nullptr, 0, &AskForContext, &killedContext, 0, nullptr));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(entered.get(), 10000));
    ::TerminateThread(builder.get(), 1);
    ::WaitForSingleObject(builder.get(), INFINITE);

    HANDLE context = nullptr;
    zrv::unique_handle other(::CreateThread(nullptr, 0, &AskForContext, &context, 0, nullptr));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(other.get(), 10000))
        << "a thread waits for good for a builder that was killed";
    EXPECT_NE(INVALID_HANDLE_VALUE, context);
    EXPECT_EQ(context, zrv::ModuleActivationContext()) << "one context for every thread";
}

// A host that loads the module, asks it for a class object and frees it, over
// and over: each cycle must cost nothing that the process runs out of (the
// runtime linked into the module takes a thread-local slot on every load).
TEST(ModuleUnload, RepeatedLoadsAndFreesUseUpNoThreadSlots) {
    ScratchFolder folder(L"reload");
    const std::wstring copy = folder.path() + L"\\ZRVPropHelperReload.dll";
    ASSERT_TRUE(::CopyFileW(ModulePath().c_str(), copy.c_str(), FALSE));
    auto freeSlot = [] {
        const DWORD slot = ::TlsAlloc();
        ::TlsFree(slot);
        return slot;
    };
    const DWORD before = freeSlot();
    for (int i = 0; i < 40; ++i) {
        HMODULE module = ::LoadLibraryW(copy.c_str());
        ASSERT_TRUE(module) << "load " << i;
        auto getClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
            reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
        ASSERT_TRUE(getClassObject);
        IClassFactory* factory = nullptr;
        EXPECT_EQ(S_OK, getClassObject(CLSID_ZRVPropPage_Summary, IID_IClassFactory,
                                       reinterpret_cast<void**>(&factory)));
        if (factory) factory->Release();
        ::FreeLibrary(module);
    }
    EXPECT_LE(freeSlot(), before + 1) << "thread-local slots are used up by reloading";
}

TEST(ModuleUnload, OpenSheetOutlivesTheHostFreeingUnusedLibraries) {
    ScratchFolder folder(L"unload");
    const std::wstring file = folder.File(L"report.txt");
    // The second dialog finds the module already held: holding it is not
    // undone or repeated by a later page.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        ShowSheetWhileTheHostFreesLibraries(file);
        if (HasFatalFailure()) return;
    }
    EXPECT_TRUE(::GetModuleHandleW(ModulePath().c_str())) << "kept until the process ends";
}

}  // namespace
