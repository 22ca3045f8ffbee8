// The General page as the user sees it: which selections get a page, what
// it shows of an item, what Apply writes, and help.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>

#include "common/message_box_watch.h"
#include "common/sheet_host.h"
#include "common/test_paths.h"
#include "handlers/prop_sheet_handlers.h"
#include "pages/general/general_fixture.h"
#include "pages/general/size_worker.h"
#include "resources/resource.h"
#include "support/handles.h"

namespace zrvtest {
namespace {

class GeneralPage : public ::testing::Test {
  protected:
    void SetUp() override { EnsureLocalizerMap(); }
};

FILETIME LocalToFileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME local = {};
    local.wYear = year;
    local.wMonth = month;
    local.wDay = day;
    local.wHour = hour;
    local.wMinute = minute;
    FILETIME localFile, universal;
    ::SystemTimeToFileTime(&local, &localFile);
    ::LocalFileTimeToFileTime(&localFile, &universal);
    return universal;
}

std::wstring LongDate(const SYSTEMTIME& time) {
    wchar_t format[32] = {}, text[128] = {};
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SLONGDATE, format, 32);
    ::GetDateFormatW(LOCALE_USER_DEFAULT, 0, &time, format, text, 128);
    return text;
}

std::wstring LocaleTime(const SYSTEMTIME& time) {
    wchar_t format[32] = {}, text[128] = {};
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, format, 32);
    ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, format, text, 128);
    return text;
}

TEST_F(GeneralPage, OfferedOnlyForExactlyOneItem) {
    ScratchFolder folder(L"general-select");
    const std::wstring first = folder.File(L"first.txt", "1");
    const std::wstring second = folder.File(L"second.txt", "2");
    const std::wstring subfolder = folder.Folder(L"sub");

    {
        PageSheet two({&CZRVPropSheet_Summary::Create}, {first, second});
        ASSERT_EQ(1u, two.initializeResults().size());
        EXPECT_EQ(E_FAIL, two.initializeResults()[0]);
        EXPECT_FALSE(two.ok()) << "no General page for two files";
    }
    {
        // The folder is dropped by the intake; the file remains.
        PageSheet mixed({&CZRVPropSheet_Summary::Create}, {first, subfolder});
        ASSERT_TRUE(mixed.ok());
        EXPECT_EQ(L"first.txt", WindowText(mixed.Control(0, IDC_GENERAL_NAME)));
    }
    {
        PageSheet none({&CZRVPropSheet_Summary::Create}, {subfolder});
        EXPECT_FALSE(none.ok());
    }
}

TEST_F(GeneralPage, ShowsNameLocationTypeAndIcon) {
    ScratchFolder folder(L"general-name");
    const std::wstring file = folder.File(L"plan.txt", "plan");
    {
        GeneralSheet sheet(file);
        ASSERT_TRUE(sheet.ok());
        EXPECT_EQ(L"plan.txt", sheet.Text(IDC_GENERAL_NAME));
        EXPECT_EQ(folder.path() + L"\\", sheet.Text(IDC_GENERAL_LOCATION));
        EXPECT_FALSE(sheet.Text(IDC_GENERAL_TYPE).empty());
        EXPECT_NE(0,
                  ::SendMessageW(sheet.Control(0, IDC_GENERAL_ICON), STM_GETIMAGE, IMAGE_ICON, 0))
            << "the shell's icon is shown";
        EXPECT_TRUE(sheet.WaitForWorker());
    }
    {
        // Filling the page is no change of the user's, also on a tab that is
        // opened after the sheet has settled.
        PageSheet sheet({&CZRVPropSheet_Summary::Create, &CZRVPropSheet_Summary::Create}, {file});
        ASSERT_EQ(2, sheet.pageCount());
        ASSERT_EQ(L"plan.txt", WindowText(sheet.Control(1, IDC_GENERAL_NAME)));
        EXPECT_FALSE(sheet.ApplyEnabled());
        Click(sheet.Page(1), IDC_GENERAL_HIDDEN);
        EXPECT_TRUE(sheet.ApplyEnabled()) << "a click is";
        Click(sheet.Page(1), IDC_GENERAL_HIDDEN);
        EXPECT_TRUE(WaitForSizeWorkers(sheet));
    }

    // A file in a drive's root: the location is the drive and its backslash.
    const std::wstring rootFile = L"C:\\zrv-root-test.txt";
    ASSERT_TRUE(WriteFileBytes(rootFile, "root"));
    {
        GeneralSheet sheet(rootFile);
        ASSERT_TRUE(sheet.ok());
        EXPECT_EQ(L"zrv-root-test.txt", sheet.Text(IDC_GENERAL_NAME));
        EXPECT_EQ(L"C:\\", sheet.Text(IDC_GENERAL_LOCATION));
        EXPECT_TRUE(sheet.WaitForWorker());
        EXPECT_EQ(L"4 bytes", sheet.Text(IDC_GENERAL_SIZE));
    }
    ::DeleteFileW(rootFile.c_str());
}

TEST_F(GeneralPage, ShowsTimesAccessedAtMidnightAsDateAlone) {
    ScratchFolder folder(L"general-times");
    const std::wstring file = folder.File(L"dated.txt", "dated");
    FILETIME created, accessed, written;
    {
        // Not every file system lets the creation time be set: whatever it
        // keeps is what the page must show.
        const FILETIME midnight = LocalToFileTime(2022, 9, 10, 0, 0);
        const FILETIME afternoon = LocalToFileTime(2021, 2, 3, 14, 15);
        HANDLE handle = ::CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES, 0,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, handle);
        ASSERT_TRUE(::SetFileTime(handle, nullptr, &midnight, &afternoon));
        ASSERT_TRUE(::GetFileTime(handle, &created, &accessed, &written));
        ::CloseHandle(handle);
    }
    auto local = [](const FILETIME& universal) {
        FILETIME localFile;
        SYSTEMTIME time;
        ::FileTimeToLocalFileTime(&universal, &localFile);
        ::FileTimeToSystemTime(&localFile, &time);
        return time;
    };
    const SYSTEMTIME c = local(created), w = local(written), a = local(accessed);
    ASSERT_EQ(0, a.wHour + a.wMinute + a.wSecond + a.wMilliseconds) << "access time kept";
    ASSERT_EQ(14, w.wHour);

    GeneralSheet sheet(file);
    ASSERT_TRUE(sheet.ok());
    EXPECT_EQ(LongDate(c) + L" " + LocaleTime(c), sheet.Text(IDC_GENERAL_CREATED));
    EXPECT_EQ(LongDate(w) + L" " + LocaleTime(w), sheet.Text(IDC_GENERAL_MODIFIED));
    EXPECT_EQ(LongDate(a), sheet.Text(IDC_GENERAL_ACCESSED));
    EXPECT_TRUE(sheet.WaitForWorker());
}

// Another program writing the file shares no reading: the times cannot be
// read, and everything else is still shown.
TEST_F(GeneralPage, FileHeldOpenForWritingShowsAllButTimes) {
    ScratchFolder folder(L"general-locked");
    const std::wstring file = folder.File(L"busy.txt", std::string(1500, 'b'));
    ASSERT_TRUE(SetAttributesKept(file, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    HANDLE writer = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    {
        GeneralSheet sheet(file);
        ASSERT_TRUE(sheet.ok());
        EXPECT_TRUE(sheet.WaitForWorker());
        EXPECT_EQ(L"busy.txt", sheet.Text(IDC_GENERAL_NAME));
        EXPECT_EQ(folder.path() + L"\\", sheet.Text(IDC_GENERAL_LOCATION));
        EXPECT_FALSE(sheet.Text(IDC_GENERAL_TYPE).empty());
        EXPECT_NE(0,
                  ::SendMessageW(sheet.Control(0, IDC_GENERAL_ICON), STM_GETIMAGE, IMAGE_ICON, 0));
        EXPECT_EQ(L"1 KB", sheet.Text(IDC_GENERAL_SIZE));
        EXPECT_TRUE(IsChecked(sheet.page(), IDC_GENERAL_HIDDEN));
        EXPECT_FALSE(IsChecked(sheet.page(), IDC_GENERAL_READONLY));
        EXPECT_EQ(L"", sheet.Text(IDC_GENERAL_CREATED));
        EXPECT_EQ(L"", sheet.Text(IDC_GENERAL_MODIFIED));
        EXPECT_EQ(L"", sheet.Text(IDC_GENERAL_ACCESSED));
    }
    ::CloseHandle(writer);
    SetAttributesKept(file, FILE_ATTRIBUTE_NORMAL);
}

TEST_F(GeneralPage, ApplyChangesOnlyTheTwoBits) {
    ScratchFolder folder(L"general-apply");
    const std::wstring file = folder.File(L"kept.txt", "kept");
    if (!SetAttributesKept(file, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM)) {
        GTEST_SKIP() << "this file system does not keep the system attribute";
    }
    {
        GeneralSheet sheet(file);
        ASSERT_TRUE(sheet.ok());
        EXPECT_FALSE(IsChecked(sheet.page(), IDC_GENERAL_READONLY));
        EXPECT_FALSE(IsChecked(sheet.page(), IDC_GENERAL_HIDDEN));

        // Apply without a change writes the same word back.
        sheet.Apply();
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM),
                  Attributes(file));

        Click(sheet.page(), IDC_GENERAL_READONLY);
        EXPECT_TRUE(sheet.ApplyEnabled()) << "a click marks the page changed";
        sheet.Apply();
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_READONLY),
                  Attributes(file));
        EXPECT_TRUE(sheet.WaitForWorker());
    }
    {
        // The boxes start from the file's bits, and unchecking Read-only
        // clears that bit alone.
        GeneralSheet sheet(file);
        ASSERT_TRUE(sheet.ok());
        EXPECT_TRUE(IsChecked(sheet.page(), IDC_GENERAL_READONLY));
        Click(sheet.page(), IDC_GENERAL_READONLY);
        Click(sheet.page(), IDC_GENERAL_HIDDEN);
        sheet.Apply();
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_HIDDEN),
                  Attributes(file));
        EXPECT_TRUE(sheet.WaitForWorker());
    }
    SetAttributesKept(file, FILE_ATTRIBUTE_NORMAL);
}

// The item went away after the selection was taken and before the page
// opened: no size, no times, unchecked boxes, and Apply writes none of the
// bits it never read, even when a file of that name is back by then.
TEST_F(GeneralPage, ItemDeletedBeforeThePageOpens) {
    ScratchFolder folder(L"general-deleted");
    const std::wstring file = folder.File(L"gone.txt", "gone");

    zrv::unique_hwnd owned(CreateGeneralSheet(
        file, [](const std::wstring& path) { EXPECT_TRUE(::DeleteFileW(path.c_str())); }));
    ASSERT_TRUE(owned);
    HWND sheet = owned.get();
    HWND page = PropSheet_IndexToHwnd(sheet, 0);
    const DWORD start = ::GetTickCount();
    while (LiveSizeWorkers() != 0 && ::GetTickCount() - start < 10000) {
        zrvproduct::PumpMessages(sheet);
        ::Sleep(1);
    }
    zrvproduct::PumpMessages(sheet);
    EXPECT_EQ(L"gone.txt", WindowText(::GetDlgItem(page, IDC_GENERAL_NAME)));
    EXPECT_EQ(L"", WindowText(::GetDlgItem(page, IDC_GENERAL_SIZE)));
    EXPECT_EQ(L"", WindowText(::GetDlgItem(page, IDC_GENERAL_CREATED)));
    EXPECT_FALSE(IsChecked(page, IDC_GENERAL_READONLY));
    EXPECT_FALSE(IsChecked(page, IDC_GENERAL_HIDDEN));

    ASSERT_TRUE(WriteFileBytes(file, "back"));
    ASSERT_TRUE(SetAttributesKept(file, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    Click(page, IDC_GENERAL_READONLY);
    std::vector<std::wstring> told;
    {
        zrvproduct::MessageBoxWatch watch(
            sheet, [&told](HWND, const std::wstring& text) { told.push_back(text); });
        PropSheet_PressButton(sheet, PSBTN_APPLYNOW);
        zrvproduct::PumpMessages(sheet);
    }
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE), Attributes(file))
        << "bits the page never showed are not written";
    EXPECT_EQ(std::vector<std::wstring>{ModuleString(IDS_GENERAL_NOT_SAVED)}, told)
        << "the user's click was not honoured";

    owned.reset();
    zrvproduct::PumpMessages(nullptr);
    SetAttributesKept(file, FILE_ATTRIBUTE_NORMAL);
}

TEST_F(GeneralPage, HelpShowsThePageTopic) {
    ScratchFolder folder(L"general-help");
    const std::wstring file = folder.File(L"help.txt", "help");
    const std::wstring log = folder.path() + L"\\help.log";
    ::SetEnvironmentVariableW(L"ZRV_HELP_LOG", log.c_str());
    wchar_t owner[16] = {};
    {
        GeneralSheet sheet(file);
        ASSERT_TRUE(sheet.ok());
        std::swprintf(owner, 16, L"0x%08lX",
                      static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(sheet.page())));
        HELPINFO info = {};
        info.cbSize = sizeof(info);
        ::SendMessageW(sheet.page(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        EXPECT_TRUE(sheet.WaitForWorker());
    }
    ::SetEnvironmentVariableW(L"ZRV_HELP_LOG", nullptr);
    const std::string requests = zrvtest::ReadFileBytes(log);
    if (requests.empty()) GTEST_SKIP() << "the application services recorded no help request";
    EXPECT_NE(std::string::npos, requests.find("ZRVHelp.chm")) << requests;
    EXPECT_NE(std::string::npos, requests.find("doc_main_prop.htm")) << requests;
    const std::string ownerText(owner, owner + std::wcslen(owner));
    EXPECT_NE(std::string::npos, requests.find(ownerText)) << "owned by the page window";
}

}  // namespace
}  // namespace zrvtest
