// Registration through regsvr32 and the registration exports, read back with
// the registry API.

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <gtest/gtest.h>

#include <thread>

#include "common/module_loader.h"
#include "common/registry_reader.h"
#include "common/test_paths.h"
#include "support/com_ptr.h"

using namespace zrvtest;

namespace {

struct HandlerClass {
    const wchar_t* clsid;
    const wchar_t* description;
};

const HandlerClass kClasses[] = {
    {L"{11FE3EAC-A8BB-4C04-A125-63DB988BB8A8}", L"Lumatrel Office Summary property page"},
    {L"{22FE3EAC-A8BB-4C04-A125-63DB988BB8A8}", L"Lumatrel Office MultiCategories property page"},
    {L"{33FE3EAC-A8BB-4C04-A125-63DB988BB8A8}", L"Lumatrel Office Life Cycle property page"},
};

const wchar_t kTypeLibText[] = L"{9CBD43DA-91F8-4647-B485-277219C1D3E6}";
const GUID kTypeLibId = {
    0x9CBD43DA, 0x91F8, 0x4647, {0xB4, 0x85, 0x27, 0x72, 0x19, 0xC1, 0xD3, 0xE6}};
const wchar_t kHandlersKey[] = L"*\\KestrEx\\PropertySheetHandlers";

int Regsvr32(bool doRegister) {
    std::wstring line = L"regsvr32.exe /s ";
    if (!doRegister) line += L"/u ";
    line += L"\"" + ModulePath() + L"\"";
    return RunProgram(line);
}

std::wstring ClassKey(const HandlerClass& c) { return std::wstring(L"CLSID\\") + c.clsid; }
std::wstring HandlerKey(const HandlerClass& c) {
    return std::wstring(kHandlersKey) + L"\\" + c.clsid;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
    std::sort(v.begin(), v.end());
    return v;
}

void ExpectRegistered() {
    for (const HandlerClass& c : kClasses) {
        SCOPED_TRACE(testing::Message() << "class " << std::string(c.clsid, c.clsid + 38));
        EXPECT_EQ(c.description, ReadString(HKEY_CLASSES_ROOT, ClassKey(c)).value_or(L"<none>"));
        EXPECT_EQ((std::vector<std::wstring>{L"InprocServer32", L"TypeLib"}),
                  Sorted(SubkeyNames(HKEY_CLASSES_ROOT, ClassKey(c))));
        const std::wstring server = ClassKey(c) + L"\\InprocServer32";
        std::wstring path = ReadString(HKEY_CLASSES_ROOT, server).value_or(L"");
        EXPECT_EQ(0, lstrcmpiW(ModulePath().c_str(), path.c_str())) << "server path";
        EXPECT_EQ(L"Apartment",
                  ReadString(HKEY_CLASSES_ROOT, server, L"ThreadingModel").value_or(L""));
        EXPECT_EQ((std::vector<std::wstring>{L"", L"ThreadingModel"}),
                  Sorted(ValueNames(HKEY_CLASSES_ROOT, server)));
        EXPECT_EQ(kTypeLibText,
                  ReadString(HKEY_CLASSES_ROOT, ClassKey(c) + L"\\TypeLib").value_or(L""));
        EXPECT_EQ(c.description, ReadString(HKEY_CLASSES_ROOT, HandlerKey(c)).value_or(L"<none>"));
        EXPECT_TRUE(SubkeyNames(HKEY_CLASSES_ROOT, HandlerKey(c)).empty());
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT,
                               std::wstring(L"*\\shellex\\PropertySheetHandlers\\") + c.clsid))
            << "only the browser's own key names the handlers";
    }
}

bool TypeLibRegistered() {
    zrv::com_ptr<ITypeLib> lib;
    return SUCCEEDED(::LoadRegTypeLib(kTypeLibId, 1, 0, 0x409, lib.put()));
}

class RegistrationTest : public ::testing::Test {
  protected:
    // Leave the module registered for the suites that create it through COM.
    static void TearDownTestSuite() { Regsvr32(true); }
};

TEST_F(RegistrationTest, Regsvr32CreatesExactlyTheKeyTable) {
    ASSERT_EQ(0, Regsvr32(false));
    ASSERT_EQ(0, Regsvr32(true));
    ExpectRegistered();
    EXPECT_TRUE(TypeLibRegistered());
}

TEST_F(RegistrationTest, RegisteringTwiceRebuildsInsteadOfDuplicating) {
    ASSERT_EQ(0, Regsvr32(true));
    HKEY stale = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyW(HKEY_CLASSES_ROOT,
                                             (ClassKey(kClasses[0]) + L"\\Stale").c_str(), &stale));
    ::RegCloseKey(stale);
    ASSERT_EQ(0, Regsvr32(true));
    ExpectRegistered();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(kClasses[0]) + L"\\Stale"));
}

TEST_F(RegistrationTest, UnregisteringKeepsSharedKeys) {
    ASSERT_EQ(0, Regsvr32(true));
    ASSERT_EQ(0, Regsvr32(false));
    for (const HandlerClass& c : kClasses) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(c)));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, HandlerKey(c)));
    }
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"*"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"*\\KestrEx"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlersKey));
    EXPECT_FALSE(TypeLibRegistered());
    EXPECT_EQ(0, Regsvr32(false)) << "unregistering what is not registered still succeeds";
}

bool TypeLibStillRegistered() {
    BSTR path = nullptr;
    const HRESULT hr = ::QueryPathOfRegTypeLib(kTypeLibId, 1, 0, 0x409, &path);
    ::SysFreeString(path);
    return SUCCEEDED(hr);
}

TEST_F(RegistrationTest, UnregisteringReportsATypeLibraryItCouldNotRemove) {
    LoadedModule module;
    ASSERT_TRUE(module.ok());
    ASSERT_EQ(S_OK, module.registerServer());
    // The registration names a file that is gone, so the system cannot
    // unregister the library: the registration stays and that is a failure.
    const std::wstring win32 = std::wstring(L"TypeLib\\") + kTypeLibText + L"\\1.0\\409\\win32";
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, win32));
    const std::wstring missing = ProgramFolder() + L"missing\\ZRVPropHelper.dll";
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetValueW(HKEY_CLASSES_ROOT, win32.c_str(), REG_SZ, missing.c_str(), 0));
    const HRESULT failed = module.unregisterServer();
    EXPECT_TRUE(FAILED(failed)) << std::hex << failed;
    EXPECT_TRUE(TypeLibStillRegistered());

    ASSERT_EQ(S_OK, module.registerServer());
    EXPECT_EQ(S_OK, module.unregisterServer());
    EXPECT_FALSE(TypeLibStillRegistered());
    EXPECT_EQ(S_OK, module.unregisterServer()) << "unregistering twice";
}

// Two installers registering at once: each rebuilds the class keys, and
// neither may fail because the other tore down a key under it.
TEST_F(RegistrationTest, ConcurrentRegistrationsBothSucceed) {
    LoadedModule module;
    ASSERT_TRUE(module.ok());
    for (int round = 0; round < 10; ++round) {
        HRESULT results[2] = {E_UNEXPECTED, E_UNEXPECTED};
        std::thread other([&] { results[1] = module.registerServer(); });
        results[0] = module.registerServer();
        other.join();
        EXPECT_EQ(S_OK, results[0]) << "round " << round;
        EXPECT_EQ(S_OK, results[1]) << "round " << round;
    }
    ExpectRegistered();
}

TEST_F(RegistrationTest, UnregisteringClearsWhatAHalfRemovedTypeLibraryLeft) {
    LoadedModule module;
    ASSERT_TRUE(module.ok());
    const std::wstring library = std::wstring(L"TypeLib\\") + kTypeLibText;
    for (const wchar_t* gone : {L"\\1.0\\409\\win32", L"\\1.0"}) {
        ASSERT_EQ(S_OK, module.registerServer());
        ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (library + gone).c_str()));
        EXPECT_EQ(S_OK, module.unregisterServer());
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, library)) << "after removing " << gone;
    }
}

// The system's type-library calls take paths of at most MAX_PATH characters;
// a module installed deeper still registers and unregisters its library.
TEST_F(RegistrationTest, ModuleBeyondMaxPathRegistersItsTypeLibrary) {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    std::wstring folder = std::wstring(temp) + L"zrv-deep";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    for (wchar_t letter : {L'x', L'y'}) {
        folder += L"\\" + std::wstring(120, letter);
        ::CreateDirectoryW(folder.c_str(), nullptr);
    }
    const std::wstring path = folder + L"\\ZRVPropHelper.dll";
    ASSERT_GT(path.size(), static_cast<size_t>(MAX_PATH));
    ::CopyFileW(ModulePath().c_str(), path.c_str(), FALSE);
    HMODULE deep = ::LoadLibraryW(path.c_str());
    ASSERT_TRUE(deep);
    auto exported = [deep](const char* name) {
        return reinterpret_cast<HRESULT(WINAPI*)()>(
            reinterpret_cast<void*>(::GetProcAddress(deep, name)));
    };
    EXPECT_EQ(S_OK, exported("DllRegisterServer")());
    EXPECT_TRUE(TypeLibRegistered());
    EXPECT_EQ(S_OK, exported("DllUnregisterServer")());
    EXPECT_FALSE(TypeLibRegistered());
    ::FreeLibrary(deep);
}

TEST_F(RegistrationTest, ExportsRestoreTheThreadLocale) {
    LoadedModule module;
    ASSERT_TRUE(module.ok());
    const LCID german = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
    const LCID saved = ::GetThreadLocale();
    ASSERT_TRUE(::SetThreadLocale(german));
    EXPECT_EQ(S_OK, module.registerServer());
    EXPECT_EQ(german, ::GetThreadLocale());
    EXPECT_EQ(S_OK, module.unregisterServer());
    EXPECT_EQ(german, ::GetThreadLocale());
    ::SetThreadLocale(saved);
}

TEST_F(RegistrationTest, TypeLibraryDescribesTheThreeClasses) {
    ASSERT_EQ(0, Regsvr32(true));
    zrv::com_ptr<ITypeLib> lib;
    ASSERT_EQ(S_OK, ::LoadRegTypeLib(kTypeLibId, 1, 0, 0x409, lib.put()));
    BSTR name = nullptr;
    BSTR help = nullptr;
    ASSERT_EQ(S_OK, lib->GetDocumentation(-1, &name, &help, nullptr, nullptr));
    EXPECT_STREQ(L"ZRVPropHelperLib", name);
    EXPECT_STREQ(L"ZRVPropHelper 1.0 Type Library", help);
    ::SysFreeString(name);
    ::SysFreeString(help);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0x409u, attr->lcid);
    lib->ReleaseTLibAttr(attr);

    const wchar_t* const coclasses[] = {L"ZRVPropPage_Summary", L"ZRVPropPage_Category",
                                        L"ZRVPropPage_LifeCycle"};
    for (const wchar_t* coclass : coclasses) {
        zrv::com_ptr<ITypeInfo> info;
        MEMBERID member = 0;
        USHORT found = 1;
        std::wstring lookup = coclass;
        ASSERT_EQ(S_OK, lib->FindName(&lookup[0], 0, info.put(), &member, &found));
        ASSERT_EQ(1, found);
        BSTR doc = nullptr;
        ASSERT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, nullptr, &doc, nullptr, nullptr));
        EXPECT_EQ(std::wstring(coclass) + L" Class", doc);
        ::SysFreeString(doc);
    }
}

}  // namespace
