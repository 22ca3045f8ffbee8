// The document browser itself, a separate process with the registered
// module and store, visiting every tab and pressing Apply: the Life Cycle
// values arrive in the store the test process points it at.

#include <windows.h>

#include <gtest/gtest.h>

#include "common/test_paths.h"
#include "pages/lifecycle/lifecycle_fixture.h"

using namespace zrvlifecycletest;

namespace {

int RunBrowserApply(const std::wstring& shots, const std::wstring& path) {
    // Taking screenshots opens every tab, so every page gets its dialog and
    // with it the Apply.
    return zrvtest::RunProgram(L"\"" + zrvtest::ProgramFolder() +
                                   L"ZRVBrowser.exe\" --screenshots \"" + shots +
                                   L"\" --apply --close \"" + path + L"\"",
                               120000);
}

TEST_F(LifeCycleTest, BrowserApplyKeepsAStoredDateExactlyAndSavesNoneForANewDocument) {
    const std::wstring dated = Document(L"Quarterly Report.doc");
    const ULONGLONG exact = Ticks(Utc(2031, 10, 31, 23, 59)) + 4321;
    Seed(dated, {exact, 2, 1});
    const std::wstring fresh = Document(L"fresh.doc");
    ClearJournal();

    ASSERT_EQ(0, RunBrowserApply(m_folder + L"\\shots1", dated));
    ASSERT_EQ(0, RunBrowserApply(m_folder + L"\\shots2", fresh));

    const zrvstore::DocumentRecord kept = Stored(dated);
    EXPECT_EQ(exact, kept.expiration);
    EXPECT_EQ(2u, kept.reminder);
    EXPECT_EQ(1u, kept.burnDisc);

    const zrvstore::DocumentRecord saved = Stored(fresh);
    for (int id : {17, 18, 19}) {
        EXPECT_TRUE(saved.Has(id)) << id;
        EXPECT_EQ(0u, saved.Value(id)) << id;
    }

    int expirationWrites = 0, updates = 0;
    for (const JournalEntry& e : Journal()) {
        if (e.operation == "SetProperty" && e.id == 17) ++expirationWrites;
        if (e.operation == "UpdateDocument") ++updates;
    }
    EXPECT_EQ(2, expirationWrites);
    EXPECT_GE(updates, 2) << "each run commits and announces its document";
}

}  // namespace
