// ZRVAppServices.exe: reached with CLSCTX_LOCAL_SERVER through its own
// registration, serving in its own process, and leaving when released; and
// the registrations of the two servers, which share one class key.

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
constexpr wchar_t kLocalizerInterfaceKey[] = L"Interface\\{CDB4A9A2-7CDD-41BC-943F-CD99837ED49D}";

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
    // The type library makes the system's marshaler serve IAppLocalizer.
    EXPECT_EQ(L"{00020424-0000-0000-C000-000000000046}",
              zrvtest::ReadString(HKEY_CLASSES_ROOT,
                                  std::wstring(kLocalizerInterfaceKey) + L"\\ProxyStubClsid32")
                  .value_or(L""));

    EXPECT_EQ(0, zrvtest::RunProgram(ServerExe() + L" /UnregServer"));
    EXPECT_FALSE(zrvtest::KeyExists(HKEY_CLASSES_ROOT, local));
    EXPECT_FALSE(zrvtest::KeyExists(HKEY_CLASSES_ROOT, kLocalizerInterfaceKey));
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
