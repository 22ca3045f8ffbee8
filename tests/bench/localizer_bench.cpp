// Prints what a localized-string lookup costs against the system calls that
// every lookup of this design must make (its floor), with the map present and
// absent, how many server objects a thread creates, and how long localizing
// each page's dialog takes with the German catalog.

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "common/localizer_map_host.h"
#include "localization/localize_dialog.h"
#include "localization/localizer.h"
#include "localization/localizer_map.h"
#include "module/module.h"
#include "support/cstring.h"
#include "support/module_instance.h"

#include "bench/bench_clock.h"
#include "bench/map_lookup_floor.h"

namespace {

// Milliseconds.
double Now() { return zrvbench::NowMs(); }

constexpr int kRounds = 7;
constexpr int kTurns = 5;
constexpr int kCallsPerRound = 500;
// The first lookup and the timed ones with the map present.
constexpr int kLookups = 1 + kTurns * kRounds * kCallsPerRound;

// Median over rounds of the mean microseconds per call in a round.
double MicrosPerCall(int calls, const std::function<void()>& body) {
    std::vector<double> rounds;
    for (int r = 0; r < kRounds; ++r) {
        const double start = Now();
        for (int i = 0; i < calls; ++i) body();
        rounds.push_back((Now() - start) * 1000.0 / calls);
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
}

LONG ServerObjectsCreated() {
    HMODULE dll = ::GetModuleHandleW(L"ZRVAppServices.dll");
    using StatsFn = void(__cdecl*)(LONG*, LONG*, LONG*);
    auto fn = dll ? reinterpret_cast<StatsFn>(
                        reinterpret_cast<void*>(::GetProcAddress(dll, "ZRVAppServicesStats")))
                  : nullptr;
    LONG created = 0;
    if (fn) fn(&created, nullptr, nullptr);
    return created;
}

// What every lookup of this design must do: the string table, and the map
// opened, mapped, its slot table scanned for the thread's entry and its use
// counted and given back, flushed (as the lookup flushes), unmapped and
// closed with its mutex. No localizer object and no translation.
// The translation every lookup asks its server for, with the BSTRs it must
// pass and the one it gets back.
void Translate(IAppLocalizer* localizer, void*) {
    BSTR stem = ::SysAllocString(L"ZRVPropHelper");
    BSTR key = ::SysAllocString(L"105");
    BSTR defaultText = ::SysAllocString(L"General");
    BSTR text = nullptr;
    localizer->GetModuleString(stem, key, defaultText, &text);
    ::SysFreeString(text);
    ::SysFreeString(defaultText);
    ::SysFreeString(key);
    ::SysFreeString(stem);
}

void Floor(bool flush) {
    static wchar_t text[256];
    ::LoadStringW(zrv::ResourceInstance(), 105, text, 256);
    zrvbench::MapLookupFloor(flush, &Translate);
}

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

}  // namespace

int wmain() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HINSTANCE self = ::GetModuleHandleW(nullptr);
    g_module.Attach(self);
    // Name the module as the catalogs know it: the built DLL's image.
    HMODULE dll = ::LoadLibraryW(L"ZRVPropHelper.dll");
    zrv::SetResourceInstance(dll);
    ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", L"de");

    CString text;
    const double loadString = MicrosPerCall(2000, [&] { (void)text.LoadString(105); });

    double withMap = 0, floor = 0, unflushed = 0, withoutMap = 0;
    LONG objects = 0;
    {
        zrvproduct::LocalizerMapHost host;
        const LONG before = ServerObjectsCreated();
        (void)text.LoadLocalizedString(105);  // the thread's first lookup registers
        // Taken in turns, so that the machine's drift falls on both alike;
        // the floor finds the thread's entry that the first lookup made.
        std::vector<double> floors, lookups;
        for (int turn = 0; turn < kTurns; ++turn) {
            floors.push_back(MicrosPerCall(kCallsPerRound, [] { Floor(true); }));
            lookups.push_back(
                MicrosPerCall(kCallsPerRound, [&] { (void)text.LoadLocalizedString(105); }));
        }
        std::sort(floors.begin(), floors.end());
        std::sort(lookups.begin(), lookups.end());
        floor = floors[floors.size() / 2];
        unflushed = MicrosPerCall(kCallsPerRound, [] { Floor(false); });
        withMap = lookups[lookups.size() / 2];
        const double stem = MicrosPerCall(200, [&] {
            CString s;
            GetModuleStem(nullptr, &s);
        });
        const double object = MicrosPerCall(200, [&] { CZRVLocalizer l; });
        std::printf("  (parts: module stem %.2f, localizer object %.2f)\n", stem, object);
        objects = ServerObjectsCreated() - before;
        std::printf("translation with the map: %ls\n", text.GetString());
    }
    ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", nullptr);
    withoutMap = MicrosPerCall(20, [&] { (void)text.LoadLocalizedString(105); });

    std::printf("localized string lookup (microseconds per call, median)\n");
    std::printf("  LoadString alone                 %9.2f\n", loadString);
    std::printf(
        "  floor (string table; map open, map, slot scan and use count, the server's\n"
        "         translation, use given back, flush, unmap, close;\n"
        "         mutex open and close)             %9.2f\n",
        floor);
    std::printf("  (of the floor, FlushViewOfFile    %9.2f)\n", floor - unflushed);
    const double ratio = floor > 0 ? withMap / floor : 0;
    std::printf(
        "  LoadLocalizedString, map present %9.2f   ratio to floor %.3f   target <= 1.10: %s\n",
        withMap, ratio, ratio <= 1.1 ? "met" : "missed");
    std::printf("  LoadLocalizedString, map absent  %9.2f   (out-of-process server)\n", withoutMap);
    std::printf("  server objects created by this thread for %d lookups: %ld\n", kLookups,
                static_cast<long>(objects));

    ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", L"de");
    zrvproduct::LocalizerMapHost host;
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
    std::printf("LocalizeDialog with the German catalog (milliseconds, median of 15)\n");
    for (int id : {105, 106, 107}) {
        std::vector<double> times;
        for (int i = 0; i < 15; ++i) {
            HWND dialog = ::CreateDialogParamW(self, MAKEINTRESOURCEW(id), owner, &QuietProc, 0);
            const double start = Now();
            LocalizeDialog(dialog, id);
            times.push_back(Now() - start);
            ::DestroyWindow(dialog);
        }
        std::sort(times.begin(), times.end());
        std::printf("  dialog %d  %7.2f\n", id, times[times.size() / 2]);
    }
    ::DestroyWindow(owner);
    ::CoUninitialize();
    return 0;
}
