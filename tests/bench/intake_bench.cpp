// Prints how long the three handlers take to read a large selection against
// one just past the hundred-entry limit, measured in the same run on the
// same files: 10,000 existing names against 101. Then lists of names that do
// not exist, of growing length: none of them is taken, so every one is
// examined, and the growth per doubling shows how the cost scales with the
// list. Each handler's Initialize runs on the host's user-interface thread,
// so the time is a frozen window.
//
//   intake_bench [--names N] [--missing N]...

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/hdrop_data_object.h"
#include "common/test_paths.h"
#include "handlers/prop_sheet_handlers.h"
#include "module/class_factory.h"
#include "support/com_ptr.h"

#include "bench/bench_clock.h"

namespace {

using zrvbench::Now;

// Milliseconds for the three handlers to take the selection, median of runs.
double ThreeHandlers(const std::vector<std::wstring>& names, int runCount = 5) {
    zrv::com_ptr<IDataObject> data;
    if (FAILED(zrvproduct::CreateDropDataObject(names, data.put()))) return -1;
    std::vector<double> runs;
    for (int run = 0; run < runCount; ++run) {
        const double start = Now();
        for (ObjectCreator create :
             {&CZRVPropSheet_Summary::Create, &CZRVPropSheet_Category::Create,
              &CZRVPropSheet_LifeCycle::Create}) {
            zrv::com_ptr<IShellExtInit> init;
            if (SUCCEEDED(create(nullptr, IID_IShellExtInit, init.put_void())))
                init->Initialize(nullptr, data.get(), nullptr);
        }
        runs.push_back((Now() - start) * 1000);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    size_t count = 10000;
    std::vector<size_t> missing;
    for (int i = 1; i < argc; ++i) {
        if (!std::wcscmp(argv[i], L"--names") && i + 1 < argc) {
            count = std::wcstoul(argv[++i], nullptr, 10);
        } else if (!std::wcscmp(argv[i], L"--missing") && i + 1 < argc) {
            missing.push_back(std::wcstoul(argv[++i], nullptr, 10));
        } else {
            std::fwprintf(stderr, L"usage: intake_bench [--names N] [--missing N]...\n");
            return 2;
        }
    }
    if (missing.empty()) missing = {250, 500, 1000};
    count = std::max<size_t>(count, 101);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    const std::wstring folder = zrvtest::MakeScratchFolder(L"intakebench");
    std::vector<std::wstring> names;
    for (size_t i = 0; i < count; ++i) {
        names.push_back(folder + L"\\document " + std::to_wstring(i) + L".txt");
        zrvtest::WriteFileBytes(names.back(), "x");
    }
    // The first selection in a process also pays for loading the shell.
    const std::vector<std::wstring> first(names.begin(), names.begin() + 101);
    ThreeHandlers(first);
    const double small = ThreeHandlers(first);
    const double large = ThreeHandlers(names);
    std::printf("Selection intake, three handlers, median of 5\n");
    std::printf("  101 names:    %9.2f ms\n", small);
    std::printf("  %zu names: %9.2f ms  (%.2fx the 101 names)\n", count, large,
                small > 0 ? large / small : 0.0);

    // Every name costs the shell several milliseconds under Wine, so each
    // list is read once.
    std::printf("Names that do not exist, three handlers, one run\n");
    double previous = 0;
    for (size_t length : missing) {
        std::vector<std::wstring> absent;
        absent.reserve(length);
        for (size_t i = 0; i < length; ++i)
            absent.push_back(folder + L"\\missing\\document " + std::to_wstring(i) + L".txt");
        const double ms = ThreeHandlers(absent, 1);
        std::printf("  %7zu names: %10.2f ms", length, ms);
        if (previous > 0) std::printf("  (%.2fx the previous list)", ms / previous);
        std::printf("\n");
        std::fflush(stdout);
        previous = ms;
    }
    zrvtest::RemoveTree(folder);
    ::CoUninitialize();
    return 0;
}
