// ZRVAppServices.exe: reached with CLSCTX_LOCAL_SERVER through its own
// registration, serving every interface in its own process, and leaving when
// released; and the registrations of the two servers, which share one class
// key.

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "appservices/appservices_fixtures.h"
#include "common/registry_reader.h"
#include "common/test_paths.h"
#include "components/component_ids.h"

using namespace zrvappsvctest;

namespace {

constexpr wchar_t kClassKey[] = L"CLSID\\{D6113ADC-154C-4AEC-BA12-07D7AA3F9FC6}";
const wchar_t* const kInterfaceKeys[] = {
    L"Interface\\{CDB4A9A2-7CDD-41BC-943F-CD99837ED49D}",  // IAppLocalizer
    L"Interface\\{E299F4F3-7A35-45AD-A31A-A21839E3B4A2}",  // IAppHelp
    L"Interface\\{8967AECD-6E1F-4D72-8786-3B490ED1AFE2}",  // IAppDocumentTypes
};

std::wstring ServerExe() { return L"\"" + zrvtest::ProgramFolder() + L"ZRVAppServices.exe\""; }

using ServerCall = HRESULT(WINAPI*)();

ServerCall DllExport(HMODULE module, const char* name) {
    return reinterpret_cast<ServerCall>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

TEST(AppServicesLocalServer, TranslatesInItsOwnProcessAndLeavesWhenReleased) {
    // The local server is started by the system, not as a child of this
    // process: the language reaches it through the user's setting.
    ScopedOfficeSetting language(L"Language", L"de");
    ScopedEnvironment noLanguage(L"ZRV_LANGUAGE", nullptr);
    InProcessServer inProcess;
    ASSERT_TRUE(inProcess.ok());
    const InProcessServer::Stats before = inProcess.stats();
    // A server that another test program left in its idle grace would be
    // reused; wait for it to leave, so that the one found below is ours.
    for (int i = 0; i < 150 && !ProcessesNamed(L"ZRVAppServices.exe").empty(); ++i) ::Sleep(100);

    HRESULT hr = E_FAIL;
    zrv::com_ptr<IUnknown> localizer =
        CreateAppServices(CLSCTX_LOCAL_SERVER, IID_IAppLocalizer, &hr);
    ASSERT_EQ(S_OK, hr);
    const std::vector<DWORD> servers = ProcessesNamed(L"ZRVAppServices.exe");
    ASSERT_EQ(1u, servers.size());
    EXPECT_TRUE(ProcessesNamed(L"dllhost.exe").empty());
    HANDLE server = ::OpenProcess(SYNCHRONIZE, FALSE, servers[0]);
    ASSERT_NE(nullptr, server);

    Answer title = GetModuleString(localizer.get(), L"ZRVPropHelper", L"106", L"Categories");
    EXPECT_EQ(S_OK, title.hr);
    EXPECT_EQ(L"Kategorien", title.text);
    EXPECT_EQ(L"Kommentare:",
              GetDialogString(localizer.get(), L"ZRVPropHelper", L"106", L"-1", L"Comments:").text);
    const Answer miss = GetModuleString(localizer.get(), L"ZRVPropHelper", L"4242");
    EXPECT_EQ(kNoTranslation, miss.hr) << std::hex << miss.hr;
    EXPECT_TRUE(miss.isNull);

    // The server outlives its idle grace while a client holds an object.
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(server, 3000));
    EXPECT_EQ(L"Allgemein", GetModuleString(localizer.get(), L"ZRVPropHelper", L"105").text);

    const InProcessServer::Stats after = inProcess.stats();
    EXPECT_EQ(before.created, after.created);
    EXPECT_EQ(before.lookups, after.lookups);

    localizer.reset();
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(server, 15000));
    ::CloseHandle(server);
}

// A client killed while it holds an object never releases it, and the server
// cannot tell it from a client that holds it without a word; either way the
// server must leave once its objects have gone unused long enough.
TEST(AppServicesLocalServer, LeavesWhenItsObjectsAreLeftUnused) {
    ScopedOfficeSetting unused(L"LocalServerUnusedMs", L"1500");
    ScopedOfficeSetting idle(L"LocalServerIdleMs", L"100");
    for (int i = 0; i < 150 && !ProcessesNamed(L"ZRVAppServices.exe").empty(); ++i) ::Sleep(100);

    HRESULT hr = E_FAIL;
    zrv::com_ptr<IUnknown> left = CreateAppServices(CLSCTX_LOCAL_SERVER, IID_IAppLocalizer, &hr);
    ASSERT_EQ(S_OK, hr);
    const std::vector<DWORD> servers = ProcessesNamed(L"ZRVAppServices.exe");
    ASSERT_EQ(1u, servers.size());
    HANDLE server = ::OpenProcess(SYNCHRONIZE, FALSE, servers[0]);
    ASSERT_NE(nullptr, server);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(server, 15000)) << "the server stays for good";
    ::CloseHandle(server);
    // The object is gone with its server: a late call fails, and fast.
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(FAILED(GetModuleString(left.get(), L"ZRVPropHelper", L"105").hr));
    EXPECT_LT(::GetTickCount() - start, 5000u);
}

// Each interface of the server is asked of it from this process, and every
// other one of it: the system's marshaler carries each one across, and the
// product's three are called there.
TEST(AppServicesLocalServer, EveryInterfaceReachesAnotherProcess) {
    const std::wstring folder = zrvtest::MakeScratchFolder(L"help-remote");
    const std::wstring log = folder + L"\\requests.log";
    ScopedOfficeSetting language(L"Language", L"de");
    ScopedOfficeSetting helpLog(L"HelpLog", log.c_str());
    ScopedOfficeSetting extensions(L"DocumentExtensions", L"Doc;Txt");
    ScopedEnvironment noLanguage(L"ZRV_LANGUAGE", nullptr);
    InProcessServer inProcess;
    ASSERT_TRUE(inProcess.ok());
    const InProcessServer::Stats before = inProcess.stats();
    // A window handle means the same window in every process of the desktop.
    const HWND owner = ::GetDesktopWindow();

    const struct {
        const char* name;
        const IID* iid;
    } interfaces[] = {{"IUnknown", &IID_IUnknown},
                      {"IDispatch", &IID_IDispatch},
                      {"IAppLocalizer", &IID_IAppLocalizer},
                      {"IAppHelp", &IID_IAppHelp},
                      {"IAppDocumentTypes", &IID_IAppDocumentTypes}};
    std::wstring expectedLog;
    for (const auto& asked : interfaces) {
        SCOPED_TRACE(asked.name);
        HRESULT hr = E_FAIL;
        zrv::com_ptr<IUnknown> object = CreateAppServices(CLSCTX_LOCAL_SERVER, *asked.iid, &hr);
        ASSERT_EQ(S_OK, hr) << std::hex << hr;
        EXPECT_FALSE(ProcessesNamed(L"ZRVAppServices.exe").empty());
        for (const auto& other : interfaces) {
            zrv::com_ptr<IUnknown> same;
            hr = object->QueryInterface(*other.iid, same.put_void());
            EXPECT_EQ(S_OK, hr) << other.name << " " << std::hex << hr;
        }
        zrv::com_ptr<IUnknown> localizer, help, types;
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IAppLocalizer, localizer.put_void()));
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IAppHelp, help.put_void()));
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IAppDocumentTypes, types.put_void()));
        EXPECT_EQ(L"Allgemein", GetModuleString(localizer.get(), L"ZRVPropHelper", L"105").text);
        EXPECT_EQ(S_OK, ShowHelp(help.get(), L"ZRVHelp.chm", L"doc_main_prop.htm", owner));
        wchar_t ownerText[16] = {};
        ::wsprintfW(ownerText, L"0x%08lX",
                    static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(owner)));
        expectedLog += L"ZRVHelp.chm|doc_main_prop.htm|" + std::wstring(ownerText) + L"\r\n";
        EXPECT_EQ(L"doc;txt", GetDocumentExtensions(types.get()).text);
        EXPECT_EQ(E_NOTIMPL, CallEmptySlot(types.get(), 23));
    }
    EXPECT_EQ(expectedLog, ReadTextFile(log));
    EXPECT_EQ(before.created, inProcess.stats().created) << "served in this process";
    zrvtest::RemoveTree(folder);
}

TEST(AppServicesRegistration, EachServerRegistersOnlyItsOwnKey) {
    const std::wstring dllPath = zrvtest::ProgramFolder() + L"ZRVAppServices.dll";
    HMODULE dll = ::LoadLibraryW(dllPath.c_str());
    ASSERT_NE(nullptr, dll);
    ServerCall registerDll = DllExport(dll, "DllRegisterServer");
    ServerCall unregisterDll = DllExport(dll, "DllUnregisterServer");
    ASSERT_TRUE(registerDll && unregisterDll);
    const std::wstring inproc = std::wstring(kClassKey) + L"\\InprocServer32";
    const std::wstring local = std::wstring(kClassKey) + L"\\LocalServer32";

    // Whatever happens below, later tests find both servers registered.
    struct Restore {
        HMODULE dll;
        ServerCall registerDll;
        ~Restore() {
            registerDll();
            zrvtest::RunProgram(ServerExe() + L" /RegServer");
            ::FreeLibrary(dll);
        }
    } restore{dll, registerDll};

    EXPECT_EQ(dllPath, zrvtest::ReadString(HKEY_CLASSES_ROOT, inproc).value_or(L""));
    EXPECT_EQ(L"Apartment",
              zrvtest::ReadString(HKEY_CLASSES_ROOT, inproc, L"ThreadingModel").value_or(L""));
    EXPECT_EQ(ServerExe(), zrvtest::ReadString(HKEY_CLASSES_ROOT, local).value_or(L""));
    // The type library makes the system's marshaler serve the interfaces.
    for (const wchar_t* key : kInterfaceKeys) {
        EXPECT_EQ(L"{00020424-0000-0000-C000-000000000046}",
                  zrvtest::ReadString(HKEY_CLASSES_ROOT, std::wstring(key) + L"\\ProxyStubClsid32")
                      .value_or(L""))
            << key;
    }

    EXPECT_EQ(0, zrvtest::RunProgram(ServerExe() + L" /UnregServer"));
    EXPECT_FALSE(zrvtest::KeyExists(HKEY_CLASSES_ROOT, local));
    for (const wchar_t* key : kInterfaceKeys)
        EXPECT_FALSE(zrvtest::KeyExists(HKEY_CLASSES_ROOT, key));
    EXPECT_EQ(dllPath, zrvtest::ReadString(HKEY_CLASSES_ROOT, inproc).value_or(L""));
    EXPECT_EQ(L"AppServices", zrvtest::ReadString(HKEY_CLASSES_ROOT, kClassKey).value_or(L""));

    EXPECT_EQ(0, zrvtest::RunProgram(ServerExe() + L" /RegServer"));
    EXPECT_EQ(S_OK, unregisterDll());
    EXPECT_FALSE(zrvtest::KeyExists(HKEY_CLASSES_ROOT, inproc));
    EXPECT_EQ(ServerExe(), zrvtest::ReadString(HKEY_CLASSES_ROOT, local).value_or(L""));

    // With both gone the class key goes too; unregistering again is no error.
    EXPECT_EQ(0, zrvtest::RunProgram(ServerExe() + L" /UnregServer"));
    EXPECT_FALSE(zrvtest::KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_EQ(S_OK, unregisterDll());
    EXPECT_EQ(0, zrvtest::RunProgram(ServerExe() + L" /UnregServer"));

    EXPECT_EQ(2, zrvtest::RunProgram(ServerExe() + L" /Install"));
    EXPECT_EQ(2, zrvtest::RunProgram(ServerExe()));
}
