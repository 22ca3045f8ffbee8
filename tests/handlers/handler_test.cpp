// What a handler does with its page across Initialize and AddPages, counted
// in live page objects.

#include <windows.h>

#include <gtest/gtest.h>

#include "common/sheet_host.h"
#include "handlers/prop_sheet_handlers.h"
#include "handlers/shell_fixtures.h"
#include "module/class_factory.h"

using namespace zrvtest;

namespace {

struct Handler {
    explicit Handler(ObjectCreator create = &CZRVPropSheet_LifeCycle::Create) {
        EXPECT_EQ(S_OK, create(nullptr, IID_IShellExtInit, init.put_void()));
        EXPECT_EQ(S_OK, init.query(IID_IShellPropSheetExt, sheet));
    }
    CZRVPropPage* page() const {
        return static_cast<CZRVPropSheetHandler*>(init.get())->pageObject();
    }
    zrv::com_ptr<IShellExtInit> init;
    zrv::com_ptr<IShellPropSheetExt> sheet;
};

class HandlerTest : public ::testing::Test {
  protected:
    void SetUp() override { baseline = CZRVPropPage::LiveObjectCount(); }
    LONG Live() const { return CZRVPropPage::LiveObjectCount() - baseline; }

    ScratchFolder folder{L"handler"};
    LONG baseline = 0;
};

TEST_F(HandlerTest, EachInitializeMakesANewPageAndTheOldOneGoes) {
    auto data = DropData({folder.File(L"a.txt")});
    {
        Handler h;
        EXPECT_EQ(nullptr, h.page());
        ASSERT_EQ(S_OK, h.init->Initialize(nullptr, data.get(), nullptr));
        CZRVPropPage* first = h.page();
        ASSERT_NE(nullptr, first);
        EXPECT_EQ(1, Live());
        ASSERT_EQ(S_OK, h.init->Initialize(nullptr, data.get(), nullptr));
        EXPECT_NE(first, h.page());
        EXPECT_EQ(1, Live()) << "the first page, never handed out, is freed";
    }
    EXPECT_EQ(0, Live());
}

TEST_F(HandlerTest, PagesThatNeverReachASheetAreFreedWithTheHandler) {
    {  // Initialize failed: the host never calls AddPages.
        Handler h;
        EXPECT_EQ(E_INVALIDARG, h.init->Initialize(nullptr, nullptr, nullptr));
        EXPECT_EQ(1, Live());
    }
    EXPECT_EQ(0, Live());
    {  // The host refused the page.
        Handler h;
        ASSERT_EQ(S_OK,
                  h.init->Initialize(nullptr, DropData({folder.File(L"b.txt")}).get(), nullptr));
        PageCollector refusing;
        EXPECT_EQ(E_FAIL,
                  h.sheet->AddPages(&PageCollector::Refuse, reinterpret_cast<LPARAM>(&refusing)));
        EXPECT_EQ(1, refusing.offered);
    }
    EXPECT_EQ(0, Live());
    {  // The host took the page handle, then destroyed it without a sheet.
        PageCollector collector;
        {
            Handler h;
            ASSERT_EQ(S_OK, h.init->Initialize(nullptr, DropData({folder.File(L"c.txt")}).get(),
                                               nullptr));
            ASSERT_EQ(S_OK, h.sheet->AddPages(&PageCollector::Accept,
                                              reinterpret_cast<LPARAM>(&collector)));
        }
        EXPECT_EQ(1, Live()) << "the host still holds the page handle";
        zrvproduct::DestroyPages(collector.pages);
    }
    EXPECT_EQ(0, Live());
}

TEST_F(HandlerTest, SheetPagesLiveUntilTheSheetIsGoneWhetherOpenedOrNot) {
    const std::wstring file = folder.File(L"d.txt");
    PageCollector collector;
    for (ObjectCreator create : {&CZRVPropSheet_Summary::Create, &CZRVPropSheet_Category::Create,
                                 &CZRVPropSheet_LifeCycle::Create}) {
        Handler h(create);
        ASSERT_EQ(S_OK, h.init->Initialize(nullptr, DropData({file}).get(), nullptr));
        ASSERT_EQ(S_OK,
                  h.sheet->AddPages(&PageCollector::Accept, reinterpret_cast<LPARAM>(&collector)));
    }
    EXPECT_EQ(3, Live()) << "handlers are released; their pages live on";
    HWND sheet = zrvproduct::CreateModelessSheet(file, collector.pages);
    ASSERT_TRUE(sheet);
    zrvproduct::PumpMessages(sheet);
    EXPECT_EQ(3, Live());
    // Only the first tab was ever opened; the others never got a dialog.
    ::DestroyWindow(sheet);
    zrvproduct::PumpMessages(nullptr);
    EXPECT_EQ(0, Live());
}

}  // namespace
