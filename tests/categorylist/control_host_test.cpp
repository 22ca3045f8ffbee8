// The category list control hosted in the platform's "AtlAxWin80" windows,
// driven as the Categories page drives it.

#include <gtest/gtest.h>

#include <ocidl.h>

#include <string>
#include <vector>

#include "categorylist/control_host.h"
#include "common/registry_reader.h"
#include "common/test_paths.h"

using namespace zrvcatlisttest;
using Names = std::vector<std::wstring>;

namespace {

bool SameRect(const RECT& a, const RECT& b) { return ::EqualRect(&a, &b) != FALSE; }

std::string Describe(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

// A catalogue file of the test's own, named to the control through the
// environment for as long as this lives.
class ScratchCatalogue {
  public:
    explicit ScratchCatalogue(const std::string& contents)
        : m_folder(zrvtest::MakeScratchFolder(L"catalogue")),
          m_path(m_folder + L"\\categories.txt"),
          m_variable(L"ZRV_CATEGORY_CATALOG", m_path.c_str()) {
        Write(contents);
    }
    ~ScratchCatalogue() { zrvtest::RemoveTree(m_folder); }
    void Write(const std::string& contents) { zrvtest::WriteFileBytes(m_path, contents); }
    void Remove() { ::DeleteFileW(m_path.c_str()); }

  private:
    std::wstring m_folder;
    std::wstring m_path;
    ScopedEnvironment m_variable;
};

}  // namespace

TEST(CategoryListHost, ControlFillsItsHostAndFollowsItsSize) {
    ASSERT_TRUE(Atl().ok()) << "atl80.dll or its hosting exports are missing";
    HostedControl hosted(RECT{10, 10, 210, 160});
    ASSERT_TRUE(hosted.ok()) << "the control was not created in the host";

    const HWND control = hosted.ControlWindow();
    EXPECT_EQ(::GetParent(control), hosted.Host());
    EXPECT_TRUE(::IsWindowVisible(control));
    EXPECT_TRUE(::IsWindowVisible(hosted.ListBox()));
    RECT hostClient = {};
    ::GetClientRect(hosted.Host(), &hostClient);
    EXPECT_TRUE(SameRect(WindowRectIn(control, hosted.Host()), hostClient))
        << Describe(WindowRectIn(control, hosted.Host()));

    // The host passes its new size on; the list fills the control.
    ::SetWindowPos(hosted.Host(), HWND_TOP, 20, 30, 320, 90, SWP_NOACTIVATE);
    EXPECT_TRUE(SameRect(WindowRectIn(control, hosted.Host()), RECT{0, 0, 320, 90}))
        << Describe(WindowRectIn(control, hosted.Host()));
    RECT controlClient = {};
    ::GetClientRect(control, &controlClient);
    EXPECT_TRUE(SameRect(WindowRectIn(hosted.ListBox(), control), controlClient))
        << Describe(WindowRectIn(hosted.ListBox(), control));
}

// The page creates each host as a top-level window, makes it a child of a
// frame afterwards, places it, and shows it only once the control is set up.
TEST(CategoryListHost, HostMadeAChildAfterwardsShowsTheControlInPlace) {
    ASSERT_TRUE(Atl().ok());
    HostedControl page(RECT{0, 0, 1, 1});  // only its top-level window is used
    ASSERT_NE(page.Top(), nullptr);
    const HWND frame = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 15, 20, 180, 140,
                                         page.Top(), nullptr, nullptr, nullptr);
    ASSERT_NE(frame, nullptr);

    const HWND host =
        ::CreateWindowExW(0, L"AtlAxWin80", nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(host, nullptr);
    Atl().createControlEx(kCategoryListControlClsidText, host, nullptr, nullptr, nullptr, IID_NULL,
                          nullptr);
    ::SetWindowLongW(host, GWL_STYLE, WS_CHILD);
    ::ShowWindow(host, SW_HIDE);
    RECT frameClient = {};
    ::GetClientRect(frame, &frameClient);
    ::SetParent(host, frame);
    ::SetWindowPos(host, HWND_TOP, frameClient.left, frameClient.top, frameClient.right,
                   frameClient.bottom, SWP_NOACTIVATE);

    zrv::com_ptr<IUnknown> unknown;
    ASSERT_EQ(Atl().getControl(host, unknown.put()), S_OK);
    zrv::com_ptr<ICategoryList> list;
    ASSERT_EQ(unknown.query(IID_ICategoryList, list), S_OK);
    zrv::com_ptr<IOleWindow> oleWindow;
    ASSERT_EQ(unknown.query(IID_IOleWindow, oleWindow), S_OK);
    HWND control = nullptr;
    ASSERT_EQ(oleWindow->GetWindow(&control), S_OK);
    EXPECT_FALSE(::IsWindowVisible(control));

    ScratchCatalogue catalogue("Business\r\nPersonal\r\n");
    EXPECT_EQ(SetDocumentSlot(list.get(), nullptr), S_OK);
    EXPECT_EQ(ConfigureSlot(list.get(), 0), S_OK);
    ::ShowWindow(host, SW_SHOWNORMAL);

    EXPECT_TRUE(::IsChild(frame, control));
    EXPECT_TRUE(::IsWindowVisible(control));
    EXPECT_TRUE(SameRect(WindowRectIn(control, frame), frameClient))
        << Describe(WindowRectIn(control, frame));
    const HWND listBox = ::FindWindowExW(control, nullptr, L"ListBox", nullptr);
    EXPECT_EQ(ListItems(listBox), (Names{L"Business", L"Personal"}));
}

TEST(CategoryListHost, CatalogueIsListedInFileOrder) {
    ASSERT_TRUE(Atl().ok());
    HostedControl hosted;
    ASSERT_TRUE(hosted.ok());

    {
        // The shipped catalogue beside the DLL, when nothing else is named.
        ScopedEnvironment unset(L"ZRV_CATEGORY_CATALOG", nullptr);
        EXPECT_EQ(SetDocumentSlot(hosted.list.get(), nullptr), S_OK);
        const Names shipped = ListItems(hosted.ListBox());
        ASSERT_GE(shipped.size(), 10u);
        EXPECT_EQ(shipped.front(), L"Business");
    }

    ScratchCatalogue catalogue(
        "\xEF\xBB\xBF Travel \r\nBusiness\r\n\r\nFinance; Clients\r\nBusiness\r\n");
    EXPECT_EQ(SetDocumentSlot(hosted.list.get(), nullptr), S_OK);
    EXPECT_EQ(ConfigureSlot(hosted.list.get(), 0), S_OK);
    EXPECT_EQ(ListItems(hosted.ListBox()), (Names{L"Travel", L"Business", L"Finance", L"Clients"}));

    // Each call reads the file again; an empty path means the catalogue too.
    catalogue.Write("Ideas\r\nArchive\r\n");
    EXPECT_EQ(SetDocumentSlot(hosted.list.get(), L""), S_OK);
    EXPECT_EQ(ListItems(hosted.ListBox()), (Names{L"Ideas", L"Archive"}));

    // No catalogue: an empty list, and an empty selection to walk.
    catalogue.Remove();
    EXPECT_EQ(SetDocumentSlot(hosted.list.get(), nullptr), S_OK);
    EXPECT_EQ(ListItems(hosted.ListBox()), Names{});
    ICategoryEnum* selection = nullptr;
    EXPECT_EQ(GetSelectionSlot(hosted.list.get(), &selection), S_OK);
    ASSERT_NE(selection, nullptr);
    CategoryItem item;
    EXPECT_EQ(NextSlot(selection, 1, &item, nullptr), S_FALSE);
}

TEST(CategoryListHost, SelectionIsWalkedAsThePageWalksIt) {
    ASSERT_TRUE(Atl().ok());
    HostedControl hosted;
    ASSERT_TRUE(hosted.ok());
    ScratchCatalogue catalogue("Business\r\nPersonal\r\nProjects\r\nFinance\r\n" +
                               std::string(300, 'L') + "\r\n");
    ASSERT_EQ(SetDocumentSlot(hosted.list.get(), nullptr), S_OK);
    const HWND listBox = hosted.ListBox();
    ASSERT_EQ(ListItems(listBox).size(), 5u);

    EXPECT_EQ(WalkSelection(hosted.list.get()), Names{});
    SelectItems(listBox, {1, 3});
    EXPECT_EQ(WalkSelection(hosted.list.get()), (Names{L"Personal", L"Finance"}));

    // The enumerator is a snapshot: selecting differently afterwards does
    // not change what it delivers, and Reset walks it again.
    ICategoryEnum* selection = nullptr;
    ASSERT_EQ(GetSelectionSlot(hosted.list.get(), &selection), S_OK);
    SelectItems(listBox, {0});
    CategoryItem item;
    ULONG fetched = 0;
    EXPECT_EQ(NextSlot(selection, 1, &item, &fetched), S_OK);
    EXPECT_EQ(ResetSlot(selection), S_OK);
    Names walked;
    while (NextSlot(selection, 1, &item, &fetched) == S_OK) walked.push_back(item.name);
    EXPECT_EQ(walked, (Names{L"Personal", L"Finance"}));
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(WalkSelection(hosted.list.get()), (Names{L"Business"}));

    // A name longer than a record holds arrives cut.
    SelectItems(listBox, {4});
    EXPECT_EQ(WalkSelection(hosted.list.get()), (Names{std::wstring(259, L'L')}));

    // Reading the catalogue again keeps the selection of names that stay.
    SelectItems(listBox, {0, 2});
    catalogue.Write("Projects\r\nTravel\r\nBusiness\r\n");
    ASSERT_EQ(SetDocumentSlot(hosted.list.get(), nullptr), S_OK);
    EXPECT_EQ(WalkSelection(hosted.list.get()), (Names{L"Projects", L"Business"}));
}

TEST(CategoryListHost, ClosingTheHostReleasesTheControl) {
    ASSERT_TRUE(Atl().ok());
    ScratchCatalogue catalogue("Business\r\nPersonal\r\n");
    {
        HostedControl hosted;
        ASSERT_TRUE(hosted.ok());
        ASSERT_EQ(SetDocumentSlot(hosted.list.get(), nullptr), S_OK);
        SelectItems(hosted.ListBox(), {0});
        ICategoryEnum* selection = nullptr;
        ASSERT_EQ(GetSelectionSlot(hosted.list.get(), &selection), S_OK);
        // A caller that releases the enumerator like any out pointer does
        // not take it away from the control.
        selection->Release();
        EXPECT_EQ(WalkSelection(hosted.list.get()), (Names{L"Business"}));
        hosted.list.reset();
        const HWND control = hosted.ControlWindow();
        hosted.DestroyHost();
        EXPECT_FALSE(::IsWindow(control));
    }
    EXPECT_EQ(ControlDllCanUnloadNow(), S_OK) << "something of the control is still alive";

    // A caller that keeps the control beyond its host can still call it; it
    // has no window and so nothing selected.
    HostedControl hosted;
    ASSERT_TRUE(hosted.ok());
    zrv::com_ptr<ICategoryList> list = hosted.list;
    hosted.DestroyHost();
    EXPECT_EQ(SetDocumentSlot(list.get(), nullptr), S_OK);
    EXPECT_EQ(WalkSelection(list.get()), Names{});
    list.reset();
    hosted.list.reset();
    EXPECT_EQ(ControlDllCanUnloadNow(), S_OK);
}

TEST(CategoryListRegistration, RegisteredAsAnApartmentControl) {
    const std::wstring key = std::wstring(L"CLSID\\") + kCategoryListControlClsidText;
    const auto server = zrvtest::ReadString(HKEY_CLASSES_ROOT, key + L"\\InprocServer32");
    ASSERT_TRUE(server.has_value()) << "ZRVCategoryList.dll is not registered";
    const std::wstring suffix = L"\\ZRVCategoryList.dll";
    EXPECT_TRUE(server->size() > suffix.size() &&
                ::lstrcmpiW(server->c_str() + server->size() - suffix.size(), suffix.c_str()) == 0);
    EXPECT_EQ(zrvtest::ReadString(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel"),
              std::wstring(L"Apartment"));
    EXPECT_TRUE(zrvtest::KeyExists(HKEY_CLASSES_ROOT, key + L"\\Control"));
    EXPECT_EQ(zrvtest::ReadString(HKEY_CLASSES_ROOT, key + L"\\MiscStatus\\1"),
              std::wstring(L"131473"));
}
