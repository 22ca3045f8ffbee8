// Prints how long the three handlers take to read a large selection against
// one just past the hundred-entry limit, measured in the same run on the
// same files: 10,000 existing names against 101. Each handler's Initialize
// runs on the host's user-interface thread, so the time is a frozen window.
//
//   intake_bench [--names N]

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

// Milliseconds for the three handlers to take the selection, median of five.
double ThreeHandlers(const std::vector<std::wstring>& names) {
    zrv::com_ptr<IDataObject> data;
    if (FAILED(zrvproduct::CreateDropDataObject(names, data.put()))) return -1;
    std::vector<double> runs;
    for (int run = 0; run < 5; ++run) {
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
    for (int i = 1; i < argc; ++i) {
        if (!std::wcscmp(argv[i], L"--names") && i + 1 < argc) {
            count = std::wcstoul(argv[++i], nullptr, 10);
        } else {
            std::fwprintf(stderr, L"usage: intake_bench [--names N]\n");
            return 2;
        }
    }
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
    zrvtest::RemoveTree(folder);
    ::CoUninitialize();
    return 0;
}
