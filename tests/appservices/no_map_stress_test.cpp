// Without the shared map every lookup creates the local server's object,
// asks one string and releases it, while the server leaves each time it has
// been idle for its grace period. Hundreds of such lookups, paced so that
// activations and releases keep meeting the server's exit, must all end.
// A watchdog turns a hang into a failure that names the stuck lookup.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "appservices/appservices_fixtures.h"
#include "common/test_paths.h"
#include "localization/localizer_map.h"
#include "support/cstring.h"
#include "support/module_instance.h"

using namespace zrvappsvctest;

namespace {

// What meets the server's exit is the first activation after a pause, so
// what counts is the number of pauses (each costs a server start, about a
// second under Wine), not of lookups in between.
constexpr int kLookups = 400;
constexpr unsigned kLookupsPerPause = 20;
constexpr wchar_t kIdleGraceMs[] = L"40";
constexpr DWORD kStallMs = 20000;  // a lookup takes milliseconds; a server start under a second

std::set<DWORD> ServerProcesses() {
    const std::vector<DWORD> ids = ProcessesNamed(L"ZRVAppServices.exe");
    return std::set<DWORD>(ids.begin(), ids.end());
}

// Ends the run when the lookup counter stops moving. A hung server is ended
// too, so that it does not stay registered and stall later test programs.
class Watchdog {
  public:
    Watchdog() : m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        m_thread = ::CreateThread(nullptr, 0, &Watchdog::Run, this, 0, nullptr);
    }
    ~Watchdog() {
        ::SetEvent(m_stop);
        ::WaitForSingleObject(m_thread, INFINITE);
        ::CloseHandle(m_thread);
        ::CloseHandle(m_stop);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void Progress(LONG done) { ::InterlockedExchange(&m_done, done); }

  private:
    static DWORD WINAPI Run(void* self) {
        auto* dog = static_cast<Watchdog*>(self);
        LONG seen = -1;
        DWORD since = ::GetTickCount();
        while (::WaitForSingleObject(dog->m_stop, 250) == WAIT_TIMEOUT) {
            const LONG done = ::InterlockedCompareExchange(&dog->m_done, 0, 0);
            if (done != seen) {
                seen = done;
                since = ::GetTickCount();
                continue;
            }
            if (::GetTickCount() - since < kStallMs) continue;
            std::printf("HANG: no-map lookup %ld of %d made no progress for %lu ms\n",
                        static_cast<long>(done + 1), kLookups, kStallMs);
            const std::set<DWORD> servers = ServerProcesses();
            std::printf("  %zu server processes alive\n", servers.size());
            for (DWORD id : servers) {
                if (HANDLE server = ::OpenProcess(PROCESS_TERMINATE, FALSE, id)) {
                    ::TerminateProcess(server, 3);
                    ::CloseHandle(server);
                }
            }
            std::fflush(stdout);
            ::TerminateProcess(::GetCurrentProcess(), 3);
        }
        return 0;
    }

    HANDLE m_stop;
    HANDLE m_thread = nullptr;
    volatile LONG m_done = 0;
};

// The module's lookups name the built DLL, as the catalogs know it.
class ModuleResources {
  public:
    ModuleResources() : m_module(::LoadLibraryW(zrvtest::ModulePath().c_str())) {
        zrv::SetResourceInstance(m_module);
    }
    ~ModuleResources() {
        zrv::SetResourceInstance(nullptr);
        if (m_module) ::FreeLibrary(m_module);
    }
    ModuleResources(const ModuleResources&) = delete;
    ModuleResources& operator=(const ModuleResources&) = delete;
    bool ok() const { return m_module != nullptr; }

  private:
    HMODULE m_module;
};

TEST(NoMapStress, LookupsRacingTheServersIdleExitAllEndTranslated) {
    HANDLE map = ::OpenFileMappingW(FILE_MAP_READ, FALSE, kLocalizerMapName);
    if (map) ::CloseHandle(map);
    ASSERT_EQ(nullptr, map) << "a localizer map is published: lookups would not leave the process";
    ScopedOfficeSetting language(L"Language", L"de");
    ScopedOfficeSetting idle(L"LocalServerIdleMs", kIdleGraceMs);
    ScopedEnvironment noLanguage(L"ZRV_LANGUAGE", nullptr);
    ScopedEnvironment noIdle(L"ZRV_APPSERVICES_IDLE_MS", nullptr);
    ModuleResources resources;
    ASSERT_TRUE(resources.ok());
    // A server left by another program keeps its own (longer) grace.
    for (int i = 0; i < 150 && !ServerProcesses().empty(); ++i) ::Sleep(100);

    Watchdog watchdog;
    std::set<DWORD> servers;
    int untranslated = 0;
    int slow = 0;  // lookups over a second: a server start, or a call that waited
    unsigned seed = 12345;
    const DWORD start = ::GetTickCount();
    for (int i = 0; i < kLookups; ++i) {
        const DWORD lookupStart = ::GetTickCount();
        CString title;
        EXPECT_EQ(S_OK, title.LoadLocalizedString(105));
        if (::GetTickCount() - lookupStart > 1000) ++slow;
        if (std::wstring(title.GetString()) != L"Allgemein") ++untranslated;
        watchdog.Progress(i + 1);
        // Now and then a pause about as long as the grace, so that the next
        // activation lands just before, during or after the server's exit.
        // Each exit costs the next lookup a server start (about a second
        // under Wine), so exits are kept to about twenty.
        seed = seed * 1103515245u + 12345u;
        if ((seed >> 16) % kLookupsPerPause == 0) {
            ::Sleep(30 + (seed >> 8) % 30);
            for (DWORD id : ServerProcesses()) servers.insert(id);
        }
    }
    const DWORD elapsed = ::GetTickCount() - start;
    std::printf(
        "%d no-map lookups in %lu ms, %d untranslated, %d over a second, "
        "%zu server processes seen\n",
        kLookups, elapsed, untranslated, slow, servers.size());
    // An activation that meets the server on its way out is made once more
    // and reaches a new server: no lookup keeps its English text.
    EXPECT_EQ(0, untranslated);
    EXPECT_GT(servers.size(), 3u) << "the server did not keep leaving when idle";
}

}  // namespace
