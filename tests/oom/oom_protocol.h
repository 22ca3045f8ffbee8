#pragma once
// What the allocation failure tests and their child runs agree on: the
// scenarios, the variables that start a run, and what the user does in it.

#include <windows.h>

#include <string>

namespace zrvoomtest {

enum class Scenario {
    Handlers,      // create the handlers, Initialize, AddPages; no sheet
    Sheet,         // the three pages in a sheet, an edit on each store page, OK
    SheetWithMap,  // the same with the product's localizer map published
    FolderWalk,    // the General page of a folder, until its walk ends
};

inline const wchar_t* ScenarioName(Scenario scenario) {
    switch (scenario) {
        case Scenario::Handlers:
            return L"handlers";
        case Scenario::Sheet:
            return L"sheet";
        case Scenario::SheetWithMap:
            return L"sheet-map";
        case Scenario::FolderWalk:
            return L"walk";
    }
    return L"";
}

inline Scenario ScenarioFromName(const std::wstring& name) {
    for (Scenario s :
         {Scenario::Handlers, Scenario::Sheet, Scenario::SheetWithMap, Scenario::FolderWalk}) {
        if (name == ScenarioName(s)) return s;
    }
    return Scenario::Handlers;
}

// Set by the parent for each run.
constexpr wchar_t kScenarioVariable[] = L"ZRV_TEST_OOM_SCENARIO";
constexpr wchar_t kFailAtVariable[] = L"ZRV_TEST_OOM_FAIL_AT";  // 0: fail nothing
// Instead of a number, the site (hex) whose first allocation fails.
constexpr wchar_t kFailSiteVariable[] = L"ZRV_TEST_OOM_FAIL_SITE";
// How many allocations fail from there on: 1 unless set.
constexpr wchar_t kFailCountVariable[] = L"ZRV_TEST_OOM_FAIL_COUNT";
constexpr wchar_t kPathVariable[] = L"ZRV_TEST_OOM_PATH";  // the one selected item
// Written at the run's end; the file named the same with ".failed" added
// is written the moment the allocation is failed.
constexpr wchar_t kReportVariable[] = L"ZRV_TEST_OOM_REPORT";

// The user's edits in the sheet scenarios.
constexpr wchar_t kTypedTitle[] = L"Typed title";
constexpr wchar_t kAddedCategory[] = L"Travel";

// A walk of the test's small tree ends far sooner.
constexpr DWORD kWalkTimeoutMs = 10000;

}  // namespace zrvoomtest
