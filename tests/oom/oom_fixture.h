#pragma once
// The parent side of the allocation failure tests: a private document store
// seeded before every run, child runs of one scenario with one allocation
// failed, and what each run left behind.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/scoped_environment.h"
#include "handlers/shell_fixtures.h"
#include "oom/oom_protocol.h"
#include "store/core/document_record.h"

namespace zrvoomtest {

// What one child run left: how it ended, its report, the store's journal
// and the document's stored record.
struct RunOutcome {
    unsigned long failAt = 0;     // by number; 0 when chosen by its site
    unsigned long failSite = 0;   // the site whose first allocation failed
    unsigned long failCount = 1;  // allocations failed in a row from failAt
    bool ended = false;           // within the deadline
    DWORD exitCode = STILL_ACTIVE;
    bool reported = false;
    std::string hooked;
    unsigned long allocations = 0;
    std::string failedCall;  // empty when nothing was failed
    // Each site the run allocated at, with the number of its first call.
    std::vector<std::pair<unsigned long, unsigned long>> sites;
    std::vector<std::string> handlers;  // "create initialize addPages" results
    std::string unload;                 // DllCanUnloadNow once all is released
    std::string worker;                 // "ended" unless the walk outlived its wait
    std::wstring sizeText;
    std::string edits;    // the user's edits made: "title", "burn"
    int messages = 0;     // the pages' messages that something was not saved
    bool closed = false;  // OK closed the sheet
    std::vector<std::wstring> journal;
    zrvstore::DocumentRecord stored;

    bool Fired() const { return !failedCall.empty(); }
    std::string Describe() const;
};

// Checks one failed run against the run without failure; empty when sound.
using RunCheck = std::function<std::string(const RunOutcome& run, const RunOutcome& baseline)>;

class AllocationFailureTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A document with every property stored.
    std::wstring SeededDocument();
    // A shortcut to a small folder tree of kTreeBytes bytes in all.
    std::wstring FolderTree();

    // Runs the scenario without failure, then once for each site at which
    // it allocates, failing that site's first call (ZRV_TEST_OOM_EVERY=1:
    // once for each allocation it makes, failing that one); every run must
    // end cleanly within its deadline, leave the module unloadable and the
    // handlers' results as without failure or E_OUTOFMEMORY, and pass
    // check. With a failCount above 1, as many allocations from that one on
    // fail, as when memory stays out for a while.
    void TryEveryAllocation(Scenario scenario, const std::wstring& path, const RunCheck& check,
                            unsigned long failCount = 1);

  private:
    struct Slot;
    // Starts a child run on a fresh copy of the seeded store.
    void Start(Slot& slot, Scenario scenario, const std::wstring& path, unsigned long failAt,
               unsigned long failSite = 0);
    // Waits for it (killing it past its deadline) and reads what it left.
    RunOutcome Finish(Slot& slot);
    static std::string Judge(const RunOutcome& run, const RunOutcome& baseline,
                             const RunCheck& check);

    std::unique_ptr<zrvtest::ScratchFolder> m_folder;
    std::wstring m_storeFile;
    std::vector<std::unique_ptr<zrvtest::ScopedEnvironment>> m_environment;
    std::wstring m_document;
    std::string m_seededStore;
    unsigned long m_failCount = 1;
};

// Sound journals of the sheet scenarios: only writes that the run without
// failure made, and a save (and announcement) only of a page's complete
// change, which holds the user's edit; an edit the user made is stored, or
// the user is told that it was not and the sheet stays open.
std::string CheckSheetRun(const RunOutcome& run, const RunOutcome& baseline);
// A figure shown as final is the true total, or none is shown.
std::string CheckWalkRun(const RunOutcome& run, const RunOutcome& baseline);

}  // namespace zrvoomtest
