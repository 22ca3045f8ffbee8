// The real module: pages hold no server lock, so the host may unload the
// module's class objects' count while a sheet is still open.

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "common/module_loader.h"
#include "common/sheet_host.h"
#include "handlers/shell_fixtures.h"
#include "module/ids.h"

using namespace zrvtest;

namespace {

TEST(ModuleLifetime, CanUnloadWhileAPageIsOpenOnceHandlersAreReleased) {
    LoadedModule module;
    ASSERT_TRUE(module.ok());
    ScratchFolder folder(L"unload");
    const std::wstring file = folder.File(L"e.txt");
    PageCollector collector;
    {
        zrv::com_ptr<IClassFactory> factory;
        ASSERT_EQ(S_OK, module.getClassObject(CLSID_ZRVPropPage_Summary, IID_IClassFactory,
                                              factory.put_void()));
        zrv::com_ptr<IShellExtInit> init;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()));
        ASSERT_EQ(S_OK, init->Initialize(nullptr, DropData({file}).get(), nullptr));
        zrv::com_ptr<IShellPropSheetExt> sheet;
        ASSERT_EQ(S_OK, init.query(IID_IShellPropSheetExt, sheet));
        ASSERT_EQ(S_OK,
                  sheet->AddPages(&PageCollector::Accept, reinterpret_cast<LPARAM>(&collector)));
        EXPECT_EQ(S_FALSE, module.canUnloadNow());
    }
    HWND sheet = zrvproduct::CreateModelessSheet(file, collector.pages);
    ASSERT_TRUE(sheet);
    zrvproduct::PumpMessages(sheet);
    ASSERT_TRUE(PropSheet_GetCurrentPageHwnd(sheet)) << "the page's dialog is open";
    EXPECT_EQ(S_OK, module.canUnloadNow());
    ::DestroyWindow(sheet);
    zrvproduct::PumpMessages(nullptr);
    EXPECT_EQ(S_OK, module.canUnloadNow());
}

}  // namespace
