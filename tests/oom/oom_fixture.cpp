#include "oom_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

#include "common/test_paths.h"
#include "store/core/document_store.h"
#include "store/core/store_journal.h"
#include "store/core/store_paths.h"
#include "support/handles.h"

namespace zrvoomtest {

namespace {

// A run normally takes well under a second; one that has not ended by then
// hangs.
constexpr DWORD kRunDeadlineMs = 30000;
// Runs that overlap: each is a process of its own, mostly waiting on Wine.
constexpr int kParallelRuns = 2;
constexpr wchar_t kOutOfMemory[] = L"8007000e";

const wchar_t* const kSeededTexts[zrvstore::kTextCount] = {
    L"Seeded title", L"Seeded subject", L"Seeded author", L"Home", L"Seeded comments"};
constexpr ULONGLONG kSeededExpiration = 0x01E8A3B4C5D6E7F8ULL;  // a day in 2031
constexpr DWORD kSeededReminder = 2;
constexpr DWORD kSeededBurn = 0;

// The tree's files; every partial total differs from the whole, and the
// whole stays below a kilobyte, so that its figure is exact.
constexpr struct {
    const wchar_t* name;
    size_t bytes;
} kTreeFiles[] = {
    {L"a.txt", 11},
    {L"b.txt", 23},
    {L"one\\c.txt", 37},
    {L"one\\d.txt", 41},
    {L"two\\e.txt", 53},
    {L"two\\deep\\f.txt", 67},
    {L"two\\deep\\g.txt", 79},
    {L"three\\h.txt", 97},
};
constexpr wchar_t kTreeFigure[] = L"408 bytes";

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      &wide[0], static_cast<int>(wide.size())));
    return wide;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::wstring Normalized(const std::wstring& path) {
    std::wstring normalized;
    zrvstore::NormalizeDocumentPath(path.c_str(), normalized);
    return normalized;
}

std::string ValueText(const zrvstore::DocumentRecord& record, int id) {
    if (!record.Has(id)) return "<unset>";
    if (zrvstore::IsTextProperty(id)) return "\"" + Narrow(record.texts[id]) + "\"";
    return std::to_string(record.Value(id));
}

bool IsSet(const std::wstring& line) { return line.compare(0, 3, L"Set") == 0; }

}  // namespace

std::string RunOutcome::Describe() const {
    char site[16];
    std::snprintf(site, sizeof(site), "%lx", failSite);
    std::string text = failSite ? std::string("run failing the first allocation at site ") + site
                                : "run failing allocation " + std::to_string(failAt);
    if (failCount > 1) text += " and the " + std::to_string(failCount - 1) + " after it";
    if (Fired()) text += " (" + failedCall + ")";
    return text;
}

void AllocationFailureTest::SetUp() {
    m_folder = std::make_unique<zrvtest::ScratchFolder>(L"oom");
    ASSERT_FALSE(m_folder->path().empty());
    // Where the documents are seeded; each run works on a copy of it.
    m_storeFile = m_folder->path() + L"\\documents.store";
    const std::wstring catalogue = m_folder->File(L"categories.txt", "Home\r\nTravel\r\nWork\r\n");
    const std::pair<const wchar_t*, std::wstring> settings[] = {
        {L"ZRV_CATEGORY_CATALOG", catalogue},
        {L"ZRV_HELP_LOG", m_folder->path() + L"\\help.log"},
        {L"ZRV_DOCUMENT_EXTENSIONS", L"doc;txt"},
    };
    for (const auto& setting : settings) {
        m_environment.push_back(
            std::make_unique<zrvtest::ScopedEnvironment>(setting.first, setting.second.c_str()));
    }
    m_environment.push_back(std::make_unique<zrvtest::ScopedEnvironment>(L"ZRV_LANGUAGE", nullptr));
}

void AllocationFailureTest::TearDown() {
    while (!m_environment.empty()) m_environment.pop_back();
    m_folder.reset();
}

std::wstring AllocationFailureTest::SeededDocument() {
    m_document = m_folder->File(L"Report.doc", "document");
    zrvstore::DocumentChanges changes;
    for (int id = 0; id < zrvstore::kTextCount; ++id)
        changes.properties.SetText(id, kSeededTexts[id]);
    changes.properties.SetValue(zrvstore::kExpirationId, kSeededExpiration);
    changes.properties.SetValue(zrvstore::kReminderId, kSeededReminder);
    changes.properties.SetValue(zrvstore::kBurnDiscId, kSeededBurn);
    zrvstore::DocumentStore store;
    EXPECT_HRESULT_SUCCEEDED(store.Initialize(m_storeFile));
    EXPECT_HRESULT_SUCCEEDED(store.Commit(Normalized(m_document), changes,
                                          zrvstore::DocumentStore::ReadOnlyRule::Ignore));
    m_seededStore = zrvtest::ReadFileBytes(m_storeFile);
    return m_document;
}

std::wstring AllocationFailureTest::FolderTree() {
    const std::wstring tree = m_folder->Folder(L"tree");
    for (const wchar_t* folder : {L"tree\\one", L"tree\\two", L"tree\\two\\deep", L"tree\\three"})
        m_folder->Folder(folder);
    for (const auto& file : kTreeFiles)
        m_folder->File(std::wstring(L"tree\\") + file.name, std::string(file.bytes, 'x'));
    // Folders named in the selection are left out; one reached through a
    // shortcut is the General page's item.
    const std::wstring link = m_folder->path() + L"\\tree.lnk";
    EXPECT_TRUE(zrvtest::MakeShortcut(link, tree));
    return link;
}

// One child run under way: its own store file and report, so that runs can
// overlap.
struct AllocationFailureTest::Slot {
    unsigned long failAt = 0;
    unsigned long failSite = 0;
    std::wstring storeFile;
    std::wstring report;
    zrv::unique_handle process;
    DWORD started = 0;
};

void AllocationFailureTest::Start(Slot& slot, Scenario scenario, const std::wstring& path,
                                  unsigned long failAt, unsigned long failSite) {
    slot.failAt = failAt;
    slot.failSite = failSite;
    if (m_seededStore.empty()) {
        ::DeleteFileW(slot.storeFile.c_str());
    } else {
        zrvtest::WriteFileBytes(slot.storeFile, m_seededStore);
    }
    zrvstore::StoreJournal(slot.storeFile).Clear();
    ::DeleteFileW(slot.report.c_str());
    ::DeleteFileW((slot.report + L".failed").c_str());

    const std::wstring number = std::to_wstring(failAt);
    zrvtest::ScopedEnvironment store(L"ZRV_DOCUMENT_STORE", slot.storeFile.c_str());
    zrvtest::ScopedEnvironment scenarioName(kScenarioVariable, ScenarioName(scenario));
    zrvtest::ScopedEnvironment failing(kFailAtVariable, number.c_str());
    wchar_t siteText[16] = {};
    if (failSite) ::wsprintfW(siteText, L"%lx", failSite);
    zrvtest::ScopedEnvironment failingSite(kFailSiteVariable, failSite ? siteText : nullptr);
    // Otherwise the child takes what the test's own environment says.
    const std::wstring count = std::to_wstring(m_failCount);
    std::unique_ptr<zrvtest::ScopedEnvironment> failingMore;
    if (m_failCount > 1)
        failingMore =
            std::make_unique<zrvtest::ScopedEnvironment>(kFailCountVariable, count.c_str());
    zrvtest::ScopedEnvironment item(kPathVariable, path.c_str());
    zrvtest::ScopedEnvironment reportFile(kReportVariable, slot.report.c_str());
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    slot.process = zrvtest::StartProgram(L"\"" + std::wstring(self) +
                                         L"\" --gtest_filter=OomChild.Run --gtest_brief=1");
    slot.started = ::GetTickCount();
}

RunOutcome AllocationFailureTest::Finish(Slot& slot) {
    RunOutcome outcome;
    outcome.failAt = slot.failAt;
    outcome.failSite = slot.failSite;
    outcome.failCount = m_failCount;
    if (slot.process) {
        const DWORD spent = ::GetTickCount() - slot.started;
        outcome.ended = ::WaitForSingleObject(slot.process.get(), spent < kRunDeadlineMs
                                                                      ? kRunDeadlineMs - spent
                                                                      : 0) == WAIT_OBJECT_0;
        if (!outcome.ended) ::TerminateProcess(slot.process.get(), 1);
        ::WaitForSingleObject(slot.process.get(), 5000);
        ::GetExitCodeProcess(slot.process.get(), &outcome.exitCode);
        slot.process.reset();
    }

    outcome.failedCall = zrvtest::ReadFileBytes(slot.report + L".failed");
    const std::string text = zrvtest::ReadFileBytes(slot.report);
    outcome.reported = !text.empty();
    for (const std::string& line : Lines(text)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "hooked") outcome.hooked = value;
        if (key == "allocations") outcome.allocations = std::strtoul(value.c_str(), nullptr, 10);
        if (key == "sites") {
            std::istringstream entries(value);
            for (std::string entry; entries >> entry;) {
                char* rest = nullptr;
                const unsigned long site = std::strtoul(entry.c_str(), &rest, 16);
                if (*rest == ':')
                    outcome.sites.emplace_back(site, std::strtoul(rest + 1, nullptr, 10));
            }
        }
        if (key == "handler") outcome.handlers.push_back(value);
        if (key == "unload") outcome.unload = value;
        if (key == "worker") outcome.worker = value;
        if (key == "size") outcome.sizeText = Widen(value);
        if (key == "edits") outcome.edits = value;
        if (key == "messages") outcome.messages = std::atoi(value.c_str());
        if (key == "closed") outcome.closed = value == "1";
    }

    std::string journal;
    zrvstore::StoreJournal(slot.storeFile).Read(journal);
    for (const std::string& line : Lines(journal)) outcome.journal.push_back(Widen(line));
    if (!m_document.empty()) {
        zrvstore::DocumentStore store;
        bool found = false;
        if (SUCCEEDED(store.Initialize(slot.storeFile)))
            store.Find(Normalized(m_document), outcome.stored, found);
    }
    return outcome;
}

std::string AllocationFailureTest::Judge(const RunOutcome& run, const RunOutcome& baseline,
                                         const RunCheck& check) {
    if (!run.ended) return "hung";
    if (run.exitCode != 0 || !run.reported) {
        char code[16];
        std::snprintf(code, sizeof(code), "0x%08lx", static_cast<unsigned long>(run.exitCode));
        return std::string("crashed or aborted, exit code ") + code;
    }
    if (run.unload != "00000000")
        return "left the module locked (DllCanUnloadNow " + run.unload + ")";
    if (run.handlers.size() != baseline.handlers.size())
        return "the host saw another number of handlers";
    // Each step answers as without failure or E_OUTOFMEMORY; after a failed
    // step the host makes no further call to that handler.
    for (size_t i = 0; i < run.handlers.size(); ++i) {
        std::istringstream got(run.handlers[i]), want(baseline.handlers[i]);
        for (std::string g, w; got >> g && want >> w;) {
            if (g == w) continue;
            if (Widen(g) != kOutOfMemory)
                return "handler answered " + run.handlers[i] + ", not " + baseline.handlers[i] +
                       " or E_OUTOFMEMORY";
            break;
        }
    }
    return check(run, baseline);
}

void AllocationFailureTest::TryEveryAllocation(Scenario scenario, const std::wstring& path,
                                               const RunCheck& check, unsigned long failCount) {
    m_failCount = failCount;
    const DWORD start = ::GetTickCount();
    Slot slots[kParallelRuns];
    for (int i = 0; i < kParallelRuns; ++i) {
        slots[i].storeFile = m_folder->path() + L"\\store" + std::to_wstring(i) + L".store";
        slots[i].report = m_folder->path() + L"\\report" + std::to_wstring(i) + L".txt";
    }
    Start(slots[0], scenario, path, 0);
    const RunOutcome baseline = Finish(slots[0]);
    ASSERT_TRUE(baseline.ended && baseline.exitCode == 0 && baseline.reported)
        << "the run without failure did not end cleanly: exit code " << baseline.exitCode;
    ASSERT_NE(std::string::npos, baseline.hooked.find("malloc "));
    ASSERT_NE(std::string::npos, baseline.hooked.find("SysAllocStringLen "));
    ASSERT_GT(baseline.allocations, 0u);
    ASSERT_EQ("", Judge(baseline, baseline, check)) << "the run without failure";

    // A site's later calls rarely take another road than its first, and a
    // child run costs a second under Wine: each site is failed once, at its
    // first call. Counts and sites vary a little between runs (a worker's
    // timing), so a site that a run did not reach is failed by the number
    // its first call had in the run without failure.
    const bool everyAllocation = std::getenv("ZRV_TEST_OOM_EVERY") != nullptr;
    std::vector<std::string> faults;
    unsigned long tried = 0, next = 1, unreached = 0;
    const unsigned long limit = baseline.allocations * 2 + 100;
    size_t nextSite = 0;
    std::vector<unsigned long> retries;
    bool done = false;
    ASSERT_FALSE(baseline.sites.empty());
    auto startNext = [&](Slot& slot) {
        if (everyAllocation) {
            if (done) return;
            Start(slot, scenario, path, next++);
        } else if (!retries.empty()) {
            Start(slot, scenario, path, retries.back());
            retries.pop_back();
        } else if (nextSite < baseline.sites.size()) {
            Start(slot, scenario, path, 0, baseline.sites[nextSite++].first);
        }
    };
    for (Slot& slot : slots) startNext(slot);
    for (bool running = true; running;) {
        running = false;
        for (Slot& slot : slots) {
            if (!slot.process) continue;
            const RunOutcome run = Finish(slot);
            ++tried;
            const std::string fault = Judge(run, baseline, check);
            if (!fault.empty()) faults.push_back(run.Describe() + ": " + fault);
            if (everyAllocation) {
                // Past the scenario's last allocation; such a run must be
                // sound all the same.
                if (!run.Fired() || next > limit) done = true;
            } else if (!run.Fired() && run.failSite) {
                ++unreached;
                for (const auto& site : baseline.sites) {
                    if (site.first == run.failSite) retries.push_back(site.second);
                }
            }
            startNext(slot);
        }
        for (const Slot& slot : slots) running = running || slot.process;
    }
    for (Slot& slot : slots) {
        if (slot.process) Finish(slot);
    }
    const DWORD seconds = (::GetTickCount() - start + 500) / 1000;
    std::printf(
        "%ls: %lu allocations at %lu sites without failure, %lu runs failing %s%s "
        "(%lu sites not reached, tried by number), %lu s\n",
        ScenarioName(scenario), baseline.allocations,
        static_cast<unsigned long>(baseline.sites.size()), tried,
        failCount > 1 ? "several in a row" : "one each",
        everyAllocation ? " at every allocation" : " at each site's first", unreached,
        static_cast<unsigned long>(seconds));
    if (everyAllocation) {
        EXPECT_LE(next, limit) << "every run had an allocation to fail";
    }
    std::string list;
    for (size_t i = 0; i < faults.size() && i < 20; ++i) list += "\n  " + faults[i];
    EXPECT_TRUE(faults.empty()) << faults.size() << " of " << tried
                                << " runs were not sound:" << list;
}

std::string CheckSheetRun(const RunOutcome& run, const RunOutcome& baseline) {
    const std::set<std::wstring> intended(baseline.journal.begin(), baseline.journal.end());
    // The journal in runs of one page's calls: its writes (texts from the
    // Categories page, values from the Life Cycle page), then perhaps its
    // save and its announcement.
    std::wstring kind;
    std::vector<std::wstring> writes;
    bool saved = false, announced = false;
    for (const std::wstring& line : run.journal) {
        const std::wstring operation = line.substr(0, line.find(L' '));
        if (IsSet(line)) {
            if (!intended.count(line)) return "wrote what it was not meant to: " + Narrow(line);
            if (operation != kind || saved) {
                kind = operation;
                writes.clear();
                saved = announced = false;
            }
            writes.push_back(
                line.substr(operation.size() + 1,
                            line.find(L' ', operation.size() + 1) - operation.size() - 1));
        } else if (operation == L"SaveDocument") {
            if (writes.empty() || saved) return "saved without a write: " + Narrow(line);
            // A save always holds the user's own change: the typed title or
            // the added category, or the burn box.
            const std::vector<std::wstring> edits = kind == L"SetProperty"
                                                        ? std::vector<std::wstring>{L"19"}
                                                        : std::vector<std::wstring>{L"0", L"3"};
            if (std::none_of(edits.begin(), edits.end(), [&](const std::wstring& id) {
                    return std::find(writes.begin(), writes.end(), id) != writes.end();
                })) {
                return "saved a change without the user's edit in it";
            }
            saved = true;
        } else if (operation == L"UpdateDocument") {
            if (!saved || announced) return "announced a change it did not save";
            announced = true;
        }
    }
    // Every value is the one stored before or the one the run without
    // failure stored: the user's or the page's own reading.
    for (int id :
         {0, 1, 2, 3, 4, zrvstore::kExpirationId, zrvstore::kReminderId, zrvstore::kBurnDiscId}) {
        const std::string now = ValueText(run.stored, id);
        const std::string before = ValueText(baseline.stored, id);
        zrvstore::DocumentRecord seeded;
        if (zrvstore::IsTextProperty(id)) {
            seeded.SetText(id, kSeededTexts[id]);
        } else {
            seeded.SetValue(id, id == zrvstore::kExpirationId ? kSeededExpiration
                                : id == zrvstore::kReminderId ? kSeededReminder
                                                              : kSeededBurn);
        }
        if (now != before && now != ValueText(seeded, id))
            return "property " + std::to_string(id) + " holds " + now + ", neither " +
                   ValueText(seeded, id) + " nor " + before;
    }
    // OK never closes the sheet over an edit it lost without a word.
    const std::pair<const char*, int> edits[] = {{"title ", 0}, {"burn ", zrvstore::kBurnDiscId}};
    for (const auto& edit : edits) {
        if (run.edits.find(edit.first) == std::string::npos) continue;
        if (ValueText(run.stored, edit.second) == ValueText(baseline.stored, edit.second)) continue;
        if (run.messages == 0 || run.closed)
            return std::string("lost the user's ") + edit.first + "edit" +
                   (run.messages == 0 ? " without a word" : " and closed the sheet");
    }
    if (baseline.messages != 0 || !baseline.closed) return "the run without failure was refused";
    return std::string();
}

std::string CheckWalkRun(const RunOutcome& run, const RunOutcome& baseline) {
    if (baseline.sizeText != kTreeFigure) return "the walk shows " + Narrow(baseline.sizeText);
    if (run.worker != "ended") return "the walk did not end";
    if (!run.sizeText.empty() && run.sizeText != kTreeFigure)
        return "the walk left " + Narrow(run.sizeText) + " as its figure";
    return std::string();
}

}  // namespace zrvoomtest
