// The thread's localizer through the shared map: one server object per
// thread, use counts, slot reuse, and a table that cannot be trusted.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <vector>

#include "common/localizer_map_host.h"
#include "common/module_loader.h"
#include "handlers/shell_fixtures.h"
#include "localization/fake_localizer.h"
#include "localization/localizer.h"
#include "localization/map_fixture.h"
#include "module/ids.h"
#include "support/com_ptr.h"
#include "support/handles.h"

using namespace zrvtest;

namespace {

class MapPresent : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(host.ok());
        ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", L"de");
        ASSERT_TRUE(view.ok());
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", nullptr); }

    // A lookup on a fresh thread, with the module's thread-detach clean-up
    // that the test program's statically linked copy does not get.
    void OnThread(const std::function<void()>& body) {
        RunOnNewThread([&] {
            body();
            ForgetLocalizerRegistrations(false);
        });
    }

    // No periodic sweep: the tests plant entries of processes that never ran.
    zrvproduct::LocalizerMapHost host{0};
    MapView view;
};

TEST_F(MapPresent, OneServerObjectPerThreadAndUseCountsFollowLookups) {
    OnThread([&] {
        const ServerStats before = AppServicesStats();
        LONG slot = -1;
        {
            CZRVLocalizer first;
            slot = first.SlotIndex();
            ASSERT_GE(slot, 0);
            EXPECT_EQ(2, view.entry(slot).useCount) << "the map's hold and this lookup";
            {
                CZRVLocalizer second;
                EXPECT_EQ(slot, second.SlotIndex());
                EXPECT_EQ(first.Localizer(), second.Localizer());
                EXPECT_EQ(3, view.entry(slot).useCount);
            }
            EXPECT_EQ(2, view.entry(slot).useCount);
        }
        EXPECT_EQ(1, view.entry(slot).useCount) << "cached for the thread";
        EXPECT_EQ(::GetCurrentThreadId(), view.entry(slot).threadId);

        CString title;
        EXPECT_EQ(S_OK, title.LoadLocalizedString(105));
        EXPECT_STREQ(L"Allgemein", title.GetString());
        EXPECT_EQ(1, view.entry(slot).useCount);
        EXPECT_EQ(before.created + 1, AppServicesStats().created)
            << "later lookups reuse the registered server object";
    });
}

TEST_F(MapPresent, AFreeSlotIsReusedBeforeTheTableGrows) {
    const std::string saved = view.Snapshot();
    const LONG base = view.entryCount();
    view.Append(0x7FFFFF01, 1, 1, 0x10);
    const LONG freeSlot = view.Append(0x7FFFFF02, 2, 1, 0x20);
    view.Append(0x7FFFFF03, 3, 1, 0x30);
    view.entry(freeSlot) = {0, 0, 0, 0};
    OnThread([&] {
        CZRVLocalizer localizer;
        EXPECT_EQ(freeSlot, localizer.SlotIndex());
        EXPECT_EQ(base + 3, view.entryCount());
    });
    view.Restore(saved);
}

TEST_F(MapPresent, ReleasingTheTopSlotShrinksTheTableByOne) {
    const std::string saved = view.Snapshot();
    const LONG base = view.entryCount();
    OnThread([&] {
        zrv::com_ptr<IAppLocalizer> server;
        ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IAppLocalizer, server.put_void()));
        view.Append(0, 0, 0, 0);  // a free slot below
        server->AddRef();         // the reference the entry stands for
        const LONG own =
            view.Append(::GetCurrentProcessId(), ::GetCurrentThreadId(), 0, Pointer(server.get()));
        VouchForThreadEntry(own, Pointer(server.get()));
        ASSERT_EQ(base + 2, view.entryCount());
        {
            CZRVLocalizer localizer;
            EXPECT_EQ(own, localizer.SlotIndex());
            EXPECT_EQ(1, view.entry(own).useCount);
        }
        EXPECT_EQ(0u, view.entry(own).processId) << "the last use clears the slot";
        EXPECT_EQ(base + 1, view.entryCount()) << "free slots below the top are not trimmed";
        server->Release();
    });
    view.Restore(saved);
}

TEST_F(MapPresent, AHeaderThatCannotBeTrustedIsNeverWrittenThrough) {
    const std::string saved = view.Snapshot();
    auto expectTranslatedWithoutWrites = [&](const char* what) {
        const std::string before = view.Snapshot();
        OnThread([&] {
            CString text;
            EXPECT_EQ(S_OK, text.LoadLocalizedString(106)) << what;
            EXPECT_STREQ(L"Kategorien", text.GetString()) << what;
        });
        EXPECT_TRUE(before == view.Snapshot()) << what << ": the map was written";
    };
    view.entryCount() = -5;
    expectTranslatedWithoutWrites("negative entryCount");
    view.entryCount() = view.capacity() + 1000;
    expectTranslatedWithoutWrites("entryCount beyond the mapping");
    for (LONG i = 0; i < view.capacity(); ++i) view.entry(i) = {0x7FFFFF00u, DWORD(i + 1), 1, 0};
    view.entryCount() = view.capacity();
    expectTranslatedWithoutWrites("full table");
    view.Restore(saved);
}

TEST_F(MapPresent, AnswersWithoutTextAndIdsNobodyKnows) {
    OnThread([&] {
        FakeLocalizer fake;
        fake.answers[L"string|1009"] = {S_OK, true, L""};
        FakeRegistration registration(fake);
        ASSERT_TRUE(registration.ok());

        CString none;
        EXPECT_EQ(S_OK, none.LoadLocalizedString(1009)) << "a successful null answer";
        EXPECT_TRUE(none.IsEmpty());

        CString unknown;
        EXPECT_EQ(S_FALSE, unknown.LoadLocalizedString(4242));
        EXPECT_TRUE(unknown.IsEmpty());

        CString kept;
        EXPECT_EQ(S_OK, kept.LoadLocalizedString(1010)) << "the string table still answers";
        EXPECT_STREQ(L"7 Days", kept.GetString());
        ASSERT_EQ(3u, fake.calls.size());
        EXPECT_NE(std::wstring::npos, fake.calls[2].find(L"|string|1010|7 Days"));
    });
}

TEST_F(MapPresent, AThreadCanGiveBackItsServerBeforeLeavingItsApartment) {
    RunOnNewThread([&] {
        CString text;
        EXPECT_EQ(S_OK, text.LoadLocalizedString(105));
        const LONG slot = view.FindThread();
        ASSERT_GE(slot, 0);
        const ServerStats held = AppServicesStats();
        {
            CZRVLocalizer busy;
            ReleaseThreadLocalizer();
            EXPECT_EQ(slot, view.FindThread()) << "a live lookup keeps the entry";
        }
        ReleaseThreadLocalizer();
        EXPECT_LT(view.FindThread(), 0);
        EXPECT_EQ(held.alive - 1, AppServicesStats().alive) << "the server object was released";
    });
}

// A host that opens each dialog on a thread of its own: the entry goes with
// the thread, and so does the server object the map held for it, however
// many threads come and go.
TEST_F(MapPresent, TheModulesEntryAndServerObjectGoWithTheirThread) {
    LoadedModule module;
    ASSERT_TRUE(module.ok());
    ScratchFolder folder(L"detach");
    const std::wstring file = folder.File(L"a.txt");
    DWORD thread = 0;
    LONG aliveAfterFirst = -1;
    for (int i = 0; i < 20; ++i) {
        RunOnNewThread([&] {
            thread = ::GetCurrentThreadId();
            zrv::com_ptr<IClassFactory> factory;
            ASSERT_EQ(S_OK, module.getClassObject(CLSID_ZRVPropPage_Category, IID_IClassFactory,
                                                  factory.put_void()));
            zrv::com_ptr<IShellExtInit> init;
            ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()));
            // The page's title is looked up by the module itself.
            init->Initialize(nullptr, DropData({file}).get(), nullptr);
            EXPECT_GE(view.FindThread(), 0);
        });
        EXPECT_LT(view.FindThread(thread), 0) << "the entry of an ended thread was left behind";
        if (i == 0) aliveAfterFirst = AppServicesStats().alive;
    }
    EXPECT_EQ(aliveAfterFirst, AppServicesStats().alive)
        << "server objects of ended threads are still alive";
}

// A host that kills its dialog threads (TerminateThread) gives the module no
// thread detach: the records of those threads must not fill the module's
// table for good, nor their entries the map.
DWORD WINAPI LookUpAndWait(void* done) {
    if (SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        CString text;
        EXPECT_EQ(S_OK, text.LoadLocalizedString(105));
    }
    ::SetEvent(done);
    ::Sleep(INFINITE);
    return 0;
}

TEST_F(MapPresent, ThreadsKilledAfterRegisteringDoNotFillTheTable) {
    zrv::unique_handle done(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    // Held until the end, so that the system gives none of their ids again.
    std::vector<zrv::unique_handle> killed;
    std::vector<DWORD> killedIds;
    for (int i = 0; i < 300; ++i) {
        DWORD id = 0;
        zrv::unique_handle thread(::CreateThread(nullptr, 0, &LookUpAndWait, done.get(), 0, &id));
        ASSERT_TRUE(thread);
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(done.get(), 10000));
        ASSERT_GE(view.FindThread(id), 0) << "thread " << i << " registered";
        ::TerminateThread(thread.get(), 1);
        ::WaitForSingleObject(thread.get(), INFINITE);
        killed.push_back(std::move(thread));
        killedIds.push_back(id);
    }
    OnThread([&] {
        CZRVLocalizer lookup;
        EXPECT_GE(lookup.SlotIndex(), 0) << "a new thread is still registered";
    });
    int left = 0;
    for (DWORD id : killedIds) left += view.FindThread(id) >= 0 ? 1 : 0;
    EXPECT_LT(left, 64) << "entries of killed threads stay in the map";
}

TEST(ModuleStem, LongNameEvenThroughAShortPath) {
    ScratchFolder folder(L"stem");
    const std::wstring longFolder = folder.Folder(L"a folder with a long name");
    const std::wstring longPath = longFolder + L"\\ZRVPropHelperWithALongName.dll";
    ASSERT_TRUE(::CopyFileW(ModulePath().c_str(), longPath.c_str(), FALSE));
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW(longPath.c_str(), shortPath, MAX_PATH), 0u);
    EXPECT_NE(longPath, shortPath) << "the file system gave no short name";
    HMODULE copy = ::LoadLibraryExW(shortPath, nullptr, 0);
    ASSERT_TRUE(copy);
    CString stem;
    EXPECT_TRUE(GetModuleStem(copy, &stem));
    EXPECT_STREQ(L"ZRVPropHelperWithALongName", stem.GetString());
    ::FreeLibrary(copy);
    EXPECT_FALSE(GetModuleStem(nullptr, nullptr));
}

}  // namespace
