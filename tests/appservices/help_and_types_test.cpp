// IAppHelp and IAppDocumentTypes: where help requests go and which extension
// list answers.

#include <gtest/gtest.h>

#include "appservices/appservices_fixtures.h"
#include "common/test_paths.h"
#include "components/component_ids.h"

using namespace zrvappsvctest;

TEST(AppHelp, RecordsRequestsWithoutHelpFileAndRefusesUnsafeNames) {
    const std::wstring folder = zrvtest::MakeScratchFolder(L"help");
    const std::wstring log = folder + L"\\requests.log";
    ScopedEnvironment logSetting(L"ZRV_HELP_LOG", log.c_str());
    // As the pages create it: any server kind, in-process preferred.
    HRESULT hr = E_FAIL;
    zrv::com_ptr<IUnknown> help = CreateAppServices(CLSCTX_ALL, IID_IAppHelp, &hr);
    ASSERT_EQ(S_OK, hr);

    EXPECT_EQ(S_OK, ShowHelp(help.get(), L"ZRVHelp.chm", L"change_cat.htm",
                             reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1A2B))));
    EXPECT_EQ(S_OK, ShowHelp(help.get(), L"ZRVHelp.chm", L"lifecycle_opt.htm", nullptr));
    EXPECT_EQ(S_OK, ShowHelp(help.get(), L"ZRVHelp.chm", nullptr, nullptr));
    const std::wstring expected =
        L"ZRVHelp.chm|change_cat.htm|0x00001A2B\r\n"
        L"ZRVHelp.chm|lifecycle_opt.htm|0x00000000\r\n"
        L"ZRVHelp.chm||0x00000000\r\n";
    EXPECT_EQ(expected, ReadTextFile(log));

    // Names that would leave the binaries' folder, and texts that would forge
    // log lines or break the viewer's command line, are refused unrecorded.
    const std::pair<const wchar_t*, const wchar_t*> refused[] = {
        {L"..\\ZRVHelp.chm", L"a.htm"},
        {L"C:\\Windows\\x.chm", L"a.htm"},
        {L"", L"a.htm"},
        {nullptr, L"a.htm"},
        {L"ZRVHelp.chm", L"a.htm\r\nZRVHelp.chm|forged.htm|0x0"},
        {L"ZRVHelp.chm", L"a.htm\" /evil"},
    };
    for (const auto& [file, topic] : refused) {
        EXPECT_EQ(E_INVALIDARG, ShowHelp(help.get(), file, topic, nullptr));
    }
    EXPECT_EQ(expected, ReadTextFile(log));

    // Slots 7 to 12 are placeholders.
    for (int slot = 7; slot <= 12; ++slot) {
        EXPECT_EQ(E_NOTIMPL, CallEmptySlot(help.get(), slot)) << "slot " << slot;
    }
    help.reset();
    zrvtest::RemoveTree(folder);
}

TEST(AppDocumentTypes, ListComesFromEnvironmentThenSettingThenDefaultInLowercase) {
    ScopedEnvironment noVariable(L"ZRV_DOCUMENT_EXTENSIONS", nullptr);
    ScopedOfficeSetting noSetting(L"DocumentExtensions", nullptr);
    HRESULT hr = E_FAIL;
    zrv::com_ptr<IUnknown> types =
        CreateAppServices(CLSCTX_INPROC_SERVER, IID_IAppDocumentTypes, &hr);
    ASSERT_EQ(S_OK, hr);

    const Answer fallback = GetDocumentExtensions(types.get());
    EXPECT_EQ(S_OK, fallback.hr);
    for (const wchar_t* extension : {L"doc;", L"docx;", L"pdf;", L"txt;", L"xlsx;", L"eml"}) {
        EXPECT_NE(std::wstring::npos, fallback.text.find(extension));
    }
    EXPECT_EQ(std::wstring::npos, fallback.text.find_first_of(L"ABCDEFGHIJKLMNOPQRSTUVWXYZ"));

    {
        ScopedOfficeSetting setting(L"DocumentExtensions", L"PDF;Txt");
        EXPECT_EQ(L"pdf;txt", GetDocumentExtensions(types.get()).text);
        ScopedEnvironment variable(L"ZRV_DOCUMENT_EXTENSIONS", L"Doc;MSG");
        EXPECT_EQ(L"doc;msg", GetDocumentExtensions(types.get()).text);
    }
    {
        // An empty setting is a list without entries, not a missing one.
        ScopedOfficeSetting empty(L"DocumentExtensions", L"");
        const Answer none = GetDocumentExtensions(types.get());
        EXPECT_EQ(S_OK, none.hr);
        EXPECT_EQ(L"", none.text);
    }

    for (int slot : {7, 15, 23}) {
        EXPECT_EQ(E_NOTIMPL, CallEmptySlot(types.get(), slot)) << "slot " << slot;
    }
}
