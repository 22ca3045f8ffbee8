// The store across processes: what one writes another reads, a writer killed
// in the middle of a save, two writers at once, a lock kept elsewhere, and a
// damaged file.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "common/test_paths.h"
#include "store/core/store_lock.h"
#include "store/store_test_support.h"
#include "support/handles.h"

using namespace zrvstoretest;

namespace {

const HRESULT kCorrupt = HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);

ULONGLONG Utc(WORD year, WORD month, WORD day, WORD hour) {
    SYSTEMTIME st = {year, month, 0, day, hour, 0, 0, 0};
    FILETIME ft = {};
    ::SystemTimeToFileTime(&st, &ft);
    return (ULONGLONG{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

class StoreDurability : public StoreTest {
  protected:
    // Saves the texts and values that the damage and kill tests expect to
    // survive.
    void SaveKeeper() {
        RawCatalog catalog;
        ASSERT_EQ(S_OK, catalog.OpenDocument(Document(L"keeper.txt").c_str()));
        ASSERT_EQ(S_OK, catalog.SetText(0, L"Keeper title"));
        ASSERT_EQ(S_OK, catalog.SetText(3, L"Archive;Legal"));
        ASSERT_EQ(S_OK, catalog.SetUInt(19, 1));
        ASSERT_EQ(S_OK, catalog.SaveDocument(Document(L"keeper.txt").c_str()));
    }
    void ExpectKeeper() {
        RawCatalog catalog;
        ASSERT_EQ(S_OK, catalog.OpenDocument(Document(L"keeper.txt").c_str()));
        EXPECT_EQ(L"Keeper title", catalog.Text(0));
        EXPECT_EQ(L"Archive;Legal", catalog.Text(3));
        EXPECT_EQ(1u, catalog.Value(19));
    }
    std::wstring Quoted(const std::wstring& path) const { return L"\"" + path + L"\""; }
};

TEST_F(StoreDurability, WhatOneProcessSavesAnotherReads) {
    const std::wstring doc = Document(L"Plan \x00E9t\x00E9.txt");
    {
        RawCatalog catalog;
        ASSERT_EQ(S_OK, catalog.OpenDocument(doc.c_str()));
        EXPECT_EQ(S_OK, catalog.SetText(2, L"Zo\x00EB"));
        EXPECT_EQ(S_OK, catalog.SetFileTime(Utc(2025, 1, 31, 0)));
        EXPECT_EQ(S_OK, catalog.SetUInt(18, 1));
        EXPECT_EQ(S_OK, catalog.SaveDocument(doc.c_str()));
    }
    std::string out;
    ASSERT_EQ(0, RunStoreTool(L"get " + Quoted(doc) + L" 2", out)) << out;
    EXPECT_EQ("Zo\xC3\xAB\n", out);
    ASSERT_EQ(0, RunStoreTool(L"get " + Quoted(doc) + L" 17", out)) << out;
    EXPECT_EQ("2025-01-31 00:00:00 " + std::to_string(Utc(2025, 1, 31, 0)) + "\n", out);
    ASSERT_EQ(0, RunStoreTool(L"get " + Quoted(doc) + L" reminder", out)) << out;
    EXPECT_EQ("1\n", out);

    ASSERT_EQ(0, RunStoreTool(L"set " + Quoted(doc) + L" 1 \"From the tool\"", out)) << out;
    ASSERT_EQ(0, RunStoreTool(L"set " + Quoted(doc) + L" 17 2030-06-15 08:00:00", out)) << out;
    EXPECT_EQ(2, RunStoreTool(L"set " + Quoted(doc) + L" 17 2031-02-29", out)) << out;
    EXPECT_EQ(2, RunStoreTool(L"set " + Quoted(doc) + L" 18 -1", out)) << out;
    RawCatalog catalog;
    ASSERT_EQ(S_OK, catalog.OpenDocument(doc.c_str()));
    EXPECT_EQ(L"Zo\x00EB", catalog.Text(2));
    EXPECT_EQ(L"From the tool", catalog.Text(1));
    EXPECT_EQ(Utc(2030, 6, 15, 8), catalog.Value(17));
    EXPECT_EQ(1u, catalog.Value(18));
}

TEST_F(StoreDurability, AWriterKilledWhileSavingLosesNothingSaved) {
    SaveKeeper();
    const std::wstring loop = Document(L"loop.txt");
    const std::wstring helper =
        L"\"" + ProgramPath(L"store_test_helper.exe") + L"\" save-loop " + Quoted(loop);
    for (DWORD delay : {0u, 15u, 40u, 75u, 120u}) {
        SCOPED_TRACE(testing::Message() << "killed " << delay << " ms after its first save");
        const zrv::unique_handle process = zrvtest::StartProgram(helper);
        ASSERT_TRUE(process);
        std::wstring before;
        {
            RawCatalog catalog;
            ASSERT_EQ(S_OK, catalog.OpenDocument(loop.c_str()));
            before = catalog.Text(0);
            // Wait until the helper has saved past what was there.
            for (int i = 0; i < 3000 && catalog.Text(0) == before; ++i) ::Sleep(10);
            ASSERT_NE(before, catalog.Text(0)) << "the helper never saved";
        }
        ::Sleep(delay);
        ASSERT_TRUE(::TerminateProcess(process.get(), 9));
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 10000));

        // The store still loads, holds one whole save of the loop document
        // (its title and reminder written together) and the other document.
        RawCatalog catalog;
        ASSERT_EQ(S_OK, catalog.OpenDocument(loop.c_str()));
        const std::wstring title = catalog.Text(0);
        EXPECT_EQ(L"loop " + std::to_wstring(catalog.Value(18)), title);
        ExpectKeeper();
        // The lock the helper may have died holding is taken over.
        EXPECT_EQ(S_OK, catalog.SetText(4, L"after"));
        EXPECT_EQ(S_OK, catalog.SaveDocument(loop.c_str()));
        RawCatalog reader;
        ASSERT_EQ(S_OK, reader.OpenDocument(loop.c_str()));
        EXPECT_EQ(L"after", reader.Text(4));
    }
}

TEST_F(StoreDurability, ConcurrentWritersLoseNothing) {
    const std::wstring shared = Document(L"shared.txt");
    const int count = 40;
    const std::wstring base = L"\"" + ProgramPath(L"store_test_helper.exe") + L"\" save-many ";
    const std::wstring tail =
        L" " + Quoted(m_folder) + L" " + std::to_wstring(count) + L" " + Quoted(shared);
    std::wstring lines[2] = {base + L"A" + tail, base + L"B" + tail};
    zrv::unique_handle processes[2];
    for (int i = 0; i < 2; ++i) {
        processes[i] = zrvtest::StartProgram(lines[i]);
        ASSERT_TRUE(processes[i]);
    }
    for (auto& process : processes) {
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 120000));
        DWORD code = 1;
        ::GetExitCodeProcess(process.get(), &code);
        EXPECT_EQ(0u, code);
    }

    RawCatalog catalog;
    for (const wchar_t* tag : {L"A", L"B"}) {
        for (int n = 1; n <= count; ++n) {
            const std::wstring doc =
                Document(std::wstring(tag) + L"-" + std::to_wstring(n) + L".txt");
            ASSERT_EQ(S_OK, catalog.OpenDocument(doc.c_str()));
            EXPECT_EQ(std::wstring(tag) + L" " + std::to_wstring(n), catalog.Text(0));
        }
    }
    ASSERT_EQ(S_OK, catalog.OpenDocument(shared.c_str()));
    EXPECT_EQ(L"A " + std::to_wstring(count), catalog.Text(0));
    EXPECT_EQ(L"B " + std::to_wstring(count), catalog.Text(1));
    EXPECT_EQ(static_cast<ULONGLONG>(count), catalog.Value(18));
    EXPECT_EQ(static_cast<ULONGLONG>(count), catalog.Value(19));
}

// A lock that another process keeps (a hung writer, a backup) costs each
// call a short wait and a busy answer, not its caller's windows for half a
// minute; nothing typed is lost, and the same calls work once it is free.
TEST_F(StoreDurability, ALockKeptElsewhereMakesEachCallFailSoon) {
    SaveKeeper();
    const std::wstring keeper = Document(L"keeper.txt");
    RawCatalog typed;
    ASSERT_EQ(S_OK, typed.OpenDocument(keeper.c_str()));
    ASSERT_EQ(S_OK, typed.SetText(1, L"typed while locked"));

    const zrv::unique_handle holder =
        zrvtest::StartProgram(L"\"" + ProgramPath(L"store_test_helper.exe") + L"\" hold-lock");
    ASSERT_TRUE(holder);
    zrv::scope_exit end([&] {
        ::TerminateProcess(holder.get(), 9);
        ::WaitForSingleObject(holder.get(), 10000);
    });
    bool held = false;
    for (int i = 0; i < 1000 && !held; ++i) {
        zrvstore::StoreLock probe;
        held = probe.Acquire(m_storeFile, 0) == zrvstore::kStoreBusy;
        if (!held) ::Sleep(10);
    }
    ASSERT_TRUE(held) << "the helper never took the lock";

    RawCatalog other;
    const struct {
        const char* name;
        long expected;
        std::function<long()> call;
    } calls[] = {
        {"OpenDocument", zrvstore::kStoreBusy, [&] { return other.OpenDocument(keeper.c_str()); }},
        {"GetStringProperty", zrvstore::kStoreBusy,
         [&] {
             BSTR text = nullptr;
             const HRESULT hr = typed.GetStringProperty(0, &text);
             ::SysFreeString(text);
             return hr;
         }},
        {"SaveDocument", zrvstore::kStoreBusy, [&] { return typed.SaveDocument(keeper.c_str()); }},
        {"CanEditProperty (read-only)", 0,
         [&] { return typed.CanEditProperty(keeper.c_str(), 0); }},
    };
    for (const auto& c : calls) {
        const DWORD start = ::GetTickCount();
        EXPECT_EQ(c.expected, c.call()) << c.name;
        EXPECT_LT(::GetTickCount() - start, 10000u)
            << c.name << " waited as long as the lock was kept";
    }
    std::string out;
    EXPECT_EQ(1, RunStoreTool(L"get " + Quoted(keeper), out)) << out;
    EXPECT_NE(std::string::npos, out.find("another program is using the store")) << out;

    ::TerminateProcess(holder.get(), 9);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(holder.get(), 10000));
    EXPECT_EQ(S_OK, typed.SaveDocument(keeper.c_str()));
    ExpectKeeper();
    RawCatalog reader;
    ASSERT_EQ(S_OK, reader.OpenDocument(keeper.c_str()));
    EXPECT_EQ(L"typed while locked", reader.Text(1));
}

TEST_F(StoreDurability, ADamagedFileFailsEveryUseAndStaysAsItIs) {
    SaveKeeper();
    const std::string good = zrvtest::ReadFileBytes(m_storeFile);
    ASSERT_GT(good.size(), 40u);

    struct Damage {
        const char* name;
        std::string bytes;
        HRESULT expected;
    };
    std::string flipped = good, truncated = good, magic = good, version = good;
    flipped[good.size() / 2] ^= 0x20;
    truncated.resize(good.size() - 3);
    magic[0] = 'X';
    version[8] = 7;
    const Damage damages[] = {
        {"flipped byte", flipped, kCorrupt},
        {"truncated", truncated, kCorrupt},
        {"header only", good.substr(0, 24), kCorrupt},
        {"empty", std::string(), kCorrupt},
        {"bad magic", magic, kCorrupt},
        {"other version", version, HRESULT_FROM_WIN32(ERROR_REVISION_MISMATCH)},
    };
    const std::wstring keeper = Document(L"keeper.txt");
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        // An object that opened the document before the damage.
        RawCatalog early;
        ASSERT_EQ(S_OK, early.OpenDocument(keeper.c_str()));
        EXPECT_EQ(S_OK, early.SetText(1, L"lost?"));
        ASSERT_TRUE(zrvtest::WriteFileBytes(m_storeFile, damage.bytes));

        EXPECT_EQ(damage.expected, early.SaveDocument(keeper.c_str()));
        EXPECT_EQ(L"lost?", early.Text(1)) << "the unsaved change stays for a later try";
        RawCatalog late;
        EXPECT_EQ(damage.expected, late.OpenDocument(keeper.c_str()));
        EXPECT_EQ(~0ull, late.Value(19));
        EXPECT_EQ(damage.expected, late.SetText(0, L"x"));
        EXPECT_EQ(0, late.CanEditProperty(keeper.c_str(), 0));
        std::string out;
        EXPECT_EQ(3, RunStoreTool(L"get " + Quoted(keeper), out)) << out;
        EXPECT_EQ(3, RunStoreTool(L"set " + Quoted(keeper) + L" 0 repaired", out)) << out;
        EXPECT_EQ(3, RunStoreTool(L"list", out)) << out;
        EXPECT_TRUE(zrvtest::ReadFileBytes(m_storeFile) == damage.bytes) << "the file was changed";

        // Once the file is whole again, the early object's change goes in.
        ASSERT_TRUE(zrvtest::WriteFileBytes(m_storeFile, good));
        EXPECT_EQ(S_OK, early.SaveDocument(keeper.c_str()));
        ExpectKeeper();
        ASSERT_TRUE(zrvtest::WriteFileBytes(m_storeFile, good));
    }
}

}  // namespace
