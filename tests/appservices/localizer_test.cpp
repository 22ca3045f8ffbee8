// IAppLocalizer in process: which catalog answers, what each kind of answer
// looks like to the caller, and what the calls leave in the server's
// counters.

#include <gtest/gtest.h>

#include <string>

#include "appservices/appservices_fixtures.h"
#include "common/test_paths.h"
#include "components/component_ids.h"

using namespace zrvappsvctest;

namespace {

std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return bytes;
}

}  // namespace

TEST(AppLocalizer, GermanCatalogAnswersByModuleIdAndKey) {
    ScopedEnvironment language(L"ZRV_LANGUAGE", L"de");
    ScopedEnvironment extra(L"ZRV_CATALOG_EXTRA", nullptr);
    HRESULT hr = E_FAIL;
    zrv::com_ptr<IUnknown> localizer =
        CreateAppServices(CLSCTX_INPROC_SERVER, IID_IAppLocalizer, &hr);
    ASSERT_EQ(S_OK, hr);

    Answer title = GetModuleString(localizer.get(), L"ZRVPropHelper", L"107", L"Life Cycle");
    EXPECT_EQ(S_OK, title.hr);
    EXPECT_EQ(L"Lebenszyklus", title.text);
    // Module names are compared without regard to case, and the key's parts
    // without surrounding blanks.
    EXPECT_EQ(L"Allgemein", GetModuleString(localizer.get(), L"zrvprophelper", L"105").text);
    EXPECT_EQ(L"Kommentare:",
              GetDialogString(localizer.get(), L"ZRVPropHelper", L"106", L"-1", L"Comments:").text);
    EXPECT_EQ(L"Schreibgeschützt",
              GetDialogString(localizer.get(), L"ZRVPropHelper", L"105", L"319").text);
    // The same control id means different controls in different dialogs.
    EXPECT_EQ(L"CD/DVD brennen",
              GetDialogString(localizer.get(), L"ZRVPropHelper", L"107", L"319").text);

    // No translation: the documented failure, and the out text stays null so
    // that the caller keeps its default. This includes the page caption.
    const Answer misses[] = {
        GetModuleString(localizer.get(), L"ZRVPropHelper", L"4242"),
        GetModuleString(localizer.get(), L"OtherModule", L"105"),
        GetModuleString(localizer.get(), L"", L"105"),
        GetModuleString(localizer.get(), nullptr, nullptr),
        GetDialogString(localizer.get(), L"ZRVPropHelper", L"105", L"caption", L""),
        GetDialogString(localizer.get(), L"ZRVPropHelper", L"105", L"-1"),
        GetDialogString(localizer.get(), L"ZRVPropHelper", L"106", L"1021|x"),
    };
    for (const Answer& miss : misses) {
        EXPECT_EQ(kNoTranslation, miss.hr) << std::hex << miss.hr;
        EXPECT_TRUE(miss.isNull);
    }
}

TEST(AppLocalizer, LanguageComesFromEnvironmentThenSettingAndIsFixedAtCreation) {
    ScopedEnvironment extra(L"ZRV_CATALOG_EXTRA", nullptr);
    ScopedEnvironment noLanguage(L"ZRV_LANGUAGE", nullptr);
    ScopedOfficeSetting setting(L"Language", nullptr);

    zrv::com_ptr<IUnknown> english = CreateAppServices(CLSCTX_INPROC_SERVER, IID_IAppLocalizer);
    ASSERT_TRUE(english);
    EXPECT_EQ(kNoTranslation, GetModuleString(english.get(), L"ZRVPropHelper", L"106").hr);

    zrv::com_ptr<IUnknown> german;
    {
        ScopedOfficeSetting de(L"Language", L"de");
        german = CreateAppServices(CLSCTX_INPROC_SERVER, IID_IAppLocalizer);
        ASSERT_TRUE(german);
        EXPECT_EQ(L"Kategorien", GetModuleString(german.get(), L"ZRVPropHelper", L"106").text);

        // The environment wins over the setting.
        ScopedEnvironment en(L"ZRV_LANGUAGE", L"en");
        zrv::com_ptr<IUnknown> overridden =
            CreateAppServices(CLSCTX_INPROC_SERVER, IID_IAppLocalizer);
        EXPECT_EQ(kNoTranslation, GetModuleString(overridden.get(), L"ZRVPropHelper", L"106").hr);
    }
    // An object keeps the catalog it was made with.
    EXPECT_EQ(L"Kategorien", GetModuleString(german.get(), L"ZRVPropHelper", L"106").text);
    EXPECT_EQ(kNoTranslation, GetModuleString(english.get(), L"ZRVPropHelper", L"106").hr);

    // A language value is a file name stem: one that reaches outside the
    // binaries' folder is taken as English, not followed.
    const std::wstring outside = zrvtest::ProgramFolder() + L"..\\zrv-escape-test.catalog";
    ASSERT_TRUE(zrvtest::WriteFileBytes(outside, "ZRVPropHelper|string|106=Bad\n"));
    for (const wchar_t* bad : {L"..\\zrv-escape-test", L"../zrv-escape-test", L"de\\..\\de"}) {
        ScopedEnvironment language(L"ZRV_LANGUAGE", bad);
        zrv::com_ptr<IUnknown> object = CreateAppServices(CLSCTX_INPROC_SERVER, IID_IAppLocalizer);
        ASSERT_TRUE(object);
        EXPECT_EQ(kNoTranslation, GetModuleString(object.get(), L"ZRVPropHelper", L"106").hr)
            << "language " << std::string(bad, bad + wcslen(bad));
    }
    ::DeleteFileW(outside.c_str());
}

TEST(AppLocalizer, ExtraCatalogOverridesAndGivesEmptyNullAndLongAnswers) {
    const std::wstring folder = zrvtest::MakeScratchFolder(L"catalog");
    const std::wstring path = folder + L"\\extra.catalog";
    const std::wstring longText(5000, L'x');
    const std::wstring catalog =
        L"# test answers\r\n"
        L"ZRVPropHelper|string|105=\u00DCbersicht\r\n"
        L"M|string|77=\r\n"
        L"M|string|78=<null>\r\n"
        L"M|string|79=" +
        longText +
        L"\r\n"
        L"  m | Dialog | 5 | caption=Fenster\r\n"
        L"M|dialog|5|-1=a=b | c\r\n"
        L"M|string|80\r\n"
        L"M|strings|81=unknown kind\r\n"
        L"M|dialog|5=no key\r\n"
        L"M|string|82=first\r\n"
        L"M|string|82=second";
    ASSERT_TRUE(zrvtest::WriteFileBytes(path, Utf16File(catalog)));

    ScopedEnvironment language(L"ZRV_LANGUAGE", L"de");
    ScopedEnvironment extra(L"ZRV_CATALOG_EXTRA", path.c_str());
    zrv::com_ptr<IUnknown> localizer = CreateAppServices(CLSCTX_INPROC_SERVER, IID_IAppLocalizer);
    ASSERT_TRUE(localizer);

    EXPECT_EQ(L"\u00DCbersicht", GetModuleString(localizer.get(), L"ZRVPropHelper", L"105").text);
    EXPECT_EQ(L"Kategorien", GetModuleString(localizer.get(), L"ZRVPropHelper", L"106").text);

    const Answer empty = GetModuleString(localizer.get(), L"M", L"77");
    EXPECT_EQ(S_OK, empty.hr);
    EXPECT_FALSE(empty.isNull);
    EXPECT_EQ(L"", empty.text);

    const Answer null = GetModuleString(localizer.get(), L"M", L"78");
    EXPECT_EQ(S_OK, null.hr);
    EXPECT_TRUE(null.isNull);

    EXPECT_EQ(longText, GetModuleString(localizer.get(), L"M", L"79").text);
    EXPECT_EQ(L"Fenster", GetDialogString(localizer.get(), L"M", L"5", L"CAPTION").text);
    EXPECT_EQ(L"a=b | c", GetDialogString(localizer.get(), L"M", L"5", L"-1").text);
    EXPECT_EQ(L"second", GetModuleString(localizer.get(), L"M", L"82").text);
    for (const wchar_t* id : {L"80", L"81"}) {
        EXPECT_EQ(kNoTranslation, GetModuleString(localizer.get(), L"M", id).hr);
    }

    // A file that is not UTF-8 or UTF-16LE text is not used at all.
    ASSERT_TRUE(zrvtest::WriteFileBytes(path, "M|string|77=\xC3(\n"));
    zrv::com_ptr<IUnknown> broken = CreateAppServices(CLSCTX_INPROC_SERVER, IID_IAppLocalizer);
    EXPECT_EQ(kNoTranslation, GetModuleString(broken.get(), L"M", L"77").hr);
    EXPECT_EQ(L"Allgemein", GetModuleString(broken.get(), L"ZRVPropHelper", L"105").text);
    zrvtest::RemoveTree(folder);
}

TEST(AppLocalizer, CountsObjectsAndLookupsAndUnlocksWhenReleased) {
    InProcessServer server;
    ASSERT_TRUE(server.ok());
    ScopedEnvironment language(L"ZRV_LANGUAGE", L"de");
    const InProcessServer::Stats before = server.stats();
    {
        zrv::com_ptr<IUnknown> localizer =
            CreateAppServices(CLSCTX_INPROC_SERVER, IID_IAppLocalizer);
        ASSERT_TRUE(localizer);
        GetModuleString(localizer.get(), L"ZRVPropHelper", L"105");
        GetModuleString(localizer.get(), L"ZRVPropHelper", L"999");
        GetDialogString(localizer.get(), L"ZRVPropHelper", L"105", L"caption");

        // One object answers all three interfaces.
        zrv::com_ptr<IUnknown> help;
        EXPECT_EQ(S_OK, localizer.query(IID_IAppHelp, help));
        zrv::com_ptr<IUnknown> types;
        EXPECT_EQ(S_OK, help.query(IID_IAppDocumentTypes, types));
        zrv::com_ptr<IUnknown> again;
        EXPECT_EQ(S_OK, types.query(IID_IAppLocalizer, again));
        EXPECT_EQ(localizer.get(), again.get());

        const InProcessServer::Stats during = server.stats();
        EXPECT_EQ(before.created + 1, during.created);
        EXPECT_EQ(before.alive + 1, during.alive);
        EXPECT_EQ(before.lookups + 3, during.lookups);
        EXPECT_EQ(S_FALSE, server.CanUnloadNow());
    }
    const InProcessServer::Stats after = server.stats();
    EXPECT_EQ(before.alive, after.alive);
    EXPECT_EQ(0, after.alive);
    EXPECT_EQ(S_OK, server.CanUnloadNow());
}
