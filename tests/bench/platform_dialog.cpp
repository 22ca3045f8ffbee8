#include "platform_dialog.h"

#include <shlobj.h>

#include "bench/bench_clock.h"

namespace zrvbench {

namespace {

template <typename T>
struct Released {
    T* p = nullptr;
    ~Released() {
        if (p) p->Release();
    }
};

}  // namespace

SheetTimes PlatformDialog(const std::wstring& path) {
    SheetTimes times;
    PageInitWatch pages;
    ModalPaintWatch paint(pages);
    const double start = NowMs();
    PIDLIST_ABSOLUTE item = nullptr;
    if (FAILED(::SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr))) return times;
    {
        Released<IShellFolder> folder;
        PCUITEMID_CHILD child = nullptr;
        Released<IContextMenu> menu;
        if (SUCCEEDED(::SHBindToParent(item, IID_IShellFolder, reinterpret_cast<void**>(&folder.p),
                                       &child)) &&
            SUCCEEDED(folder.p->GetUIObjectOf(nullptr, 1, &child, IID_IContextMenu, nullptr,
                                              reinterpret_cast<void**>(&menu.p)))) {
            CMINVOKECOMMANDINFO invoke = {};
            invoke.cbSize = sizeof(invoke);
            invoke.lpVerb = "properties";
            invoke.nShow = SW_SHOWNORMAL;
            menu.p->InvokeCommand(&invoke);
        }
    }
    ::CoTaskMemFree(item);
    if (pages.InitialisedAt() != 0) times.initialised = pages.InitialisedAt() - start;
    if (paint.PaintedAt() != 0) times.painted = paint.PaintedAt() - start;
    return times;
}

}  // namespace zrvbench
