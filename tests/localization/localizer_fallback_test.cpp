// Without the map, or with its mutex out of reach, a lookup still gets its
// translation, from a local server on its way out too, and nothing is
// registered.

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "common/localizer_map_host.h"
#include "common/test_paths.h"
#include "localization/fake_localizer.h"
#include "localization/localizer.h"
#include "localization/map_fixture.h"
#include "support/class_factory.h"

using namespace zrvtest;

namespace {

// The out-of-process server does not share our environment on every
// system, so the language is chosen through the user's setting.
class GermanSetting {
  public:
    GermanSetting() {
        ::RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Lumatrel\\Office", &m_key);
        ::RegSetValueExW(m_key, L"Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"de"),
                         3 * sizeof(wchar_t));
    }
    ~GermanSetting() {
        ::RegDeleteValueW(m_key, L"Language");
        ::RegCloseKey(m_key);
    }

  private:
    HKEY m_key = nullptr;
};

TEST(NoMap, TheOutOfProcessServerAnswersAndNothingIsRegistered) {
    ASSERT_FALSE(MapView().ok()) << "a map is left over from another test";
    GermanSetting german;
    const ServerStats before = AppServicesStats();
    RunOnNewThread([] {
        CString title;
        EXPECT_EQ(S_OK, title.LoadLocalizedString(106));
        EXPECT_STREQ(L"Kategorien", title.GetString());
        CZRVLocalizer localizer;
        EXPECT_NE(nullptr, localizer.Localizer());
        EXPECT_EQ(-1, localizer.SlotIndex());
    });
    EXPECT_EQ(before.created, AppServicesStats().created) << "no in-process server was made";
}

// Stands in for the local server, registered as it in this apartment: each
// activation takes the next scripted answer, and the fake once they run out.
struct ScriptedServer {
    static HRESULT Create(IUnknown*, REFIID iid, void** object) {
        const size_t activation = s_activations++;
        if (activation < s_answers.size()) return s_answers[activation];
        return s_localizer->QueryInterface(iid, object);
    }
    static void NoLock() noexcept {}

    static inline std::vector<HRESULT> s_answers;
    static inline size_t s_activations = 0;
    static inline FakeLocalizer* s_localizer = nullptr;
};

// The local server leaves once idle, and an activation that meets it on its
// way out fails although a new server would start at once: that activation
// is made once more. Any other failure, or a second refusal, leaves the
// English text.
TEST(NoMap, AServerOnItsWayOutIsAskedOnceMore) {
    ASSERT_FALSE(MapView().ok()) << "a map is left over from another test";
    FakeLocalizer fake;
    fake.answers[L"string|106"] = {S_OK, false, L"Kategorien"};
    ScriptedServer::s_localizer = &fake;
    const struct {
        std::vector<HRESULT> answers;
        const wchar_t* title;
        size_t activations;
    } rows[] = {
        {{}, L"Kategorien", 1},
        {{CO_E_SERVER_STOPPING}, L"Kategorien", 2},
        {{E_FAIL}, L"Kategorien", 2},
        {{RPC_E_DISCONNECTED}, L"Kategorien", 2},
        {{E_FAIL, E_FAIL}, L"Categories", 2},
        {{E_OUTOFMEMORY}, L"Categories", 1},
        {{REGDB_E_CLASSNOTREG}, L"Categories", 1},
    };
    RunOnNewThread([&] {
        zrv::ClassFactory server(&ScriptedServer::Create,
                                 {&ScriptedServer::NoLock, &ScriptedServer::NoLock},
                                 zrv::Aggregation::Refused, zrv::ClientReferences::LockNothing);
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, ::CoRegisterClassObject(CLSID_AppServices, &server, CLSCTX_LOCAL_SERVER,
                                                REGCLS_MULTIPLEUSE, &cookie));
        for (const auto& row : rows) {
            ScriptedServer::s_answers = row.answers;
            ScriptedServer::s_activations = 0;
            CString title;
            EXPECT_EQ(S_OK, title.LoadLocalizedString(106));
            const HRESULT first = row.answers.empty() ? S_OK : row.answers[0];
            EXPECT_STREQ(row.title, title.GetString()) << std::hex << first;
            EXPECT_EQ(row.activations, ScriptedServer::s_activations) << std::hex << first;
        }
        ::CoRevokeClassObject(cookie);
    });
    EXPECT_EQ(1u, fake.refs) << "every localizer made was released";
}

// Holds the map's mutex from another process for longer than a lookup waits.
// Runs only when started for that purpose by the slow test below.
TEST(MutexHolder, Hold) {
    wchar_t ms[32] = {};
    if (!::GetEnvironmentVariableW(L"ZRV_TEST_HOLD_MUTEX_MS", ms, 32)) GTEST_SKIP();
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, kLocalizerMutexName);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(mutex, 5000));
    HANDLE held = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, L"ZRVTestLocalizerMutexHeld");
    ::SetEvent(held);
    ::Sleep(static_cast<DWORD>(_wtoi(ms)));
    ::ReleaseMutex(mutex);
    ::CloseHandle(held);
    ::CloseHandle(mutex);
}

TEST(SlowMutexHeldElsewhere, TranslationWithoutRegistration) {
    zrvproduct::LocalizerMapHost host;
    ASSERT_TRUE(host.ok());
    ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", L"de");
    const zrv::unique_handle held(
        ::CreateEventW(nullptr, TRUE, FALSE, L"ZRVTestLocalizerMutexHeld"));
    ::SetEnvironmentVariableW(L"ZRV_TEST_HOLD_MUTEX_MS", L"12500");
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const zrv::unique_handle holder =
        StartProgram(L"\"" + std::wstring(self) + L"\" --gtest_filter=MutexHolder.Hold");
    ::SetEnvironmentVariableW(L"ZRV_TEST_HOLD_MUTEX_MS", nullptr);
    ASSERT_TRUE(holder);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(held.get(), 30000));

    MapView view;
    const LONG countBefore = view.entryCount();
    RunOnNewThread([&] {
        const DWORD start = ::GetTickCount();
        CString title;
        EXPECT_EQ(S_OK, title.LoadLocalizedString(107));
        EXPECT_STREQ(L"Lebenszyklus", title.GetString());
        EXPECT_GE(::GetTickCount() - start, 9000u) << "the lookup waited for the mutex";
        EXPECT_LT(view.FindThread(), 0) << "nothing was registered";
    });
    EXPECT_EQ(countBefore, view.entryCount());
    ::WaitForSingleObject(holder.get(), 30000);
    ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", nullptr);
}

}  // namespace
