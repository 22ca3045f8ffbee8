// The one dialog procedure: which operation each message reaches and what it
// answers. The procedure is called directly on a real window, as the dialog
// manager would call it.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/cstring_maker.h"
#include "common/message_box_watch.h"
#include "handlers/recording_page.h"
#include "handlers/shell_fixtures.h"

using namespace zrvtest;

namespace {

class DispatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A dialog's window, with room for the answer a sheet reads.
        window = ::CreateWindowExW(0, L"#32770", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
        ASSERT_TRUE(window);
        page = new RecordingPage();
        ASSERT_EQ(S_OK, page->selection.push_back(zrvtest::MakeCString(L"C:\\a.txt")));
    }
    void TearDown() override {
        if (bound) Call(WM_DESTROY, 0, 0);
        page->ReleaseFromHandler();
        ::DestroyWindow(window);
        EXPECT_EQ(0, RecordingPage::alive);
    }

    INT_PTR Call(UINT message, WPARAM wParam, LPARAM lParam) {
        return CZRVPropPage::PageDialogProc(window, message, wParam, lParam);
    }
    INT_PTR Bind() {
        bound = true;
        return Call(WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&page->pageInfo));
    }

    HWND window = nullptr;
    RecordingPage* page = nullptr;
    bool bound = false;
};

TEST_F(DispatchTest, NothingIsCalledBeforeTheWindowIsBound) {
    NMHDR header = {window, 0, static_cast<UINT>(PSN_APPLY)};
    EXPECT_EQ(0, Call(WM_COMMAND, 1, 0));
    EXPECT_EQ(0, Call(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header)));
    EXPECT_EQ(0, Call(WM_APP, 0, 0));
    EXPECT_EQ(0, Call(WM_SHOWWINDOW, TRUE, 0));
    EXPECT_EQ(L"", page->Take());
    EXPECT_EQ(nullptr, page->window);
}

TEST_F(DispatchTest, InitDialogBindsThePageAndAnswersItsResult) {
    EXPECT_EQ(1, Bind());
    EXPECT_EQ(window, page->window);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(page), ::GetWindowLongPtrW(window, GWLP_USERDATA));
    EXPECT_EQ(L"init", page->Take());

    RecordingPage* quiet = new RecordingPage();
    quiet->initResult = FALSE;
    HWND other = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
    EXPECT_EQ(0, CZRVPropPage::PageDialogProc(other, WM_INITDIALOG, 0,
                                              reinterpret_cast<LPARAM>(&quiet->pageInfo)));
    CZRVPropPage::PageDialogProc(other, WM_DESTROY, 0, 0);
    quiet->ReleaseFromHandler();
    ::DestroyWindow(other);
}

TEST_F(DispatchTest, EachMessageReachesItsOperation) {
    Bind();
    page->Take();

    EXPECT_EQ(0, Call(WM_SHOWWINDOW, FALSE, 0));
    EXPECT_EQ(L"", page->Take()) << "a page being hidden is not shown";
    EXPECT_EQ(0, Call(WM_SHOWWINDOW, TRUE, 0));
    EXPECT_EQ(L"show", page->Take());

    // The sheet reads an apply's outcome from DWLP_MSGRESULT: a page that
    // refuses one (and tells the user) answers nonzero so that it is read,
    // and the next apply is not refused with it.
    NMHDR apply = {window, 0, static_cast<UINT>(PSN_APPLY)};
    page->refuseApply = true;
    std::vector<std::wstring> told;
    {
        zrvproduct::MessageBoxWatch watch(
            nullptr, [&told](HWND, const std::wstring& text) { told.push_back(text); });
        EXPECT_EQ(TRUE, Call(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&apply)));
    }
    EXPECT_EQ(1u, told.size()) << "the user is told";
    EXPECT_EQ(PSNRET_INVALID_NOCHANGEPAGE, ::GetWindowLongPtrW(window, DWLP_MSGRESULT));
    page->refuseApply = false;
    EXPECT_EQ(7, Call(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&apply)));
    EXPECT_EQ(PSNRET_NOERROR, ::GetWindowLongPtrW(window, DWLP_MSGRESULT));
    EXPECT_EQ(L"apply; apply", page->Take());
    NMHDR other = {window, 0, static_cast<UINT>(PSN_SETACTIVE)};
    EXPECT_EQ(13, Call(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&other)));
    EXPECT_EQ(L"notify -200", page->Take());

    EXPECT_EQ(0, Call(WM_HELP, 0, 0));
    EXPECT_EQ(L"help", page->Take());

    EXPECT_EQ(17, Call(WM_COMMAND, MAKEWPARAM(0x123, 0x400), 0));
    EXPECT_EQ(L"command " + std::to_wstring(MAKEWPARAM(0x123, 0x400)) + L" 1024", page->Take());

    EXPECT_EQ(0, Call(0x7FFF, 1, 2));
    EXPECT_EQ(0, Call(0x8003, 1, 2));
    EXPECT_EQ(L"", page->Take());
    EXPECT_EQ(0, Call(WM_TIMER, 1, 0));
    EXPECT_EQ(L"timer 1", page->Take());
    for (UINT message = 0x8000; message <= 0x8002; ++message) {
        EXPECT_EQ(11, Call(message, 5, 6));
        EXPECT_EQ(L"user " + std::to_wstring(message) + L" 5 6", page->Take());
    }
}

// Nothing a page does can raise an exception into the sheet: every page
// operation is noexcept, so a page whose override could let one out does not
// compile, and the module's own pages raise nothing.
TEST_F(DispatchTest, AnExceptionFromAPageNeverReachesTheSheet) {
    CZRVPropPage& base = *page;
    static_assert(
        noexcept(base.Initialize(nullptr, nullptr, nullptr))&& noexcept(base.AddPages(nullptr, 0))&& noexcept(base.ReplacePage(0, nullptr, 0))&& noexcept(base.OnInitDialog())&& noexcept(
            base.OnDestroy())&& noexcept(base.OnApply())&& noexcept(base
                                                                        .OnUserMessage(
                                                                            0, 0,
                                                                            0))&& noexcept(base
                                                                                               .OnNotify(
                                                                                                   nullptr))&& noexcept(base
                                                                                                                            .OnCommand(
                                                                                                                                0,
                                                                                                                                0))&& noexcept(base
                                                                                                                                                   .OnHelp())&& noexcept(base.OnShow()),
        "page operations are called from the sheet's dialog procedure");
    Bind();
    EXPECT_EQ(17, Call(WM_COMMAND, 1, 0));
    EXPECT_EQ(L"init; command 1 0", page->Take());
}

TEST_F(DispatchTest, DestroyRunsOnDestroyWithTheSelectionThenLetsGo) {
    Bind();
    page->AddRef();  // keep the object to look at it afterwards
    EXPECT_EQ(0, Call(WM_DESTROY, 0, 0));
    bound = false;
    EXPECT_EQ(L"init; destroy", page->Take());
    EXPECT_EQ(1u, page->selectionSeenAtDestroy) << "the selection is released after OnDestroy";
    EXPECT_TRUE(page->selection.empty());
    EXPECT_EQ(0, ::GetWindowLongPtrW(window, GWLP_USERDATA));
    EXPECT_EQ(0, Call(WM_COMMAND, 1, 0)) << "messages after WM_DESTROY find no page";
    EXPECT_EQ(L"", page->Take());
    page->Release();
}

TEST(PageBase, AddPagesOffersTheHandleOnceAndReportsTheAnswer) {
    RecordingPage* page = new RecordingPage(IDD_CATEGORIES_PAGE);
    ASSERT_NE(nullptr, page->pageHandle);
    EXPECT_STREQ(L"Categories", page->titleBuffer);
    EXPECT_EQ(52u, page->pageInfo.dwSize);
    EXPECT_EQ(0xCCu | PSP_USEFUSIONCONTEXT, page->pageInfo.dwFlags);
    EXPECT_NE(nullptr, page->pageInfo.hActCtx);

    PageCollector refusing;
    EXPECT_EQ(E_FAIL, page->AddPages(&PageCollector::Refuse, reinterpret_cast<LPARAM>(&refusing)));
    EXPECT_EQ(1, refusing.offered);
    EXPECT_EQ(E_NOTIMPL, page->ReplacePage(0, nullptr, 0));

    // Without a page handle the callback is never called.
    HPROPSHEETPAGE handle = page->pageHandle;
    page->pageHandle = nullptr;
    PageCollector collector;
    EXPECT_EQ(E_FAIL, page->AddPages(&PageCollector::Accept, reinterpret_cast<LPARAM>(&collector)));
    EXPECT_EQ(0, collector.offered);
    page->pageHandle = handle;
    page->ReleaseFromHandler();
    EXPECT_EQ(0, RecordingPage::alive);
}

}  // namespace
