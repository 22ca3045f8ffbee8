#include "platform_dialog.h"

#include <shlobj.h>

#include "bench/bench_clock.h"
#include "support/com_ptr.h"
#include "support/handles.h"

namespace zrvbench {

SheetTimes PlatformDialog(const std::wstring& path) {
    SheetTimes times;
    PageInitWatch pages;
    ModalPaintWatch paint(pages);
    const double start = NowMs();
    PIDLIST_ABSOLUTE parsed = nullptr;
    if (FAILED(::SHParseDisplayName(path.c_str(), nullptr, &parsed, 0, nullptr))) return times;
    zrv::unique_cotaskmem item(parsed);
    {
        zrv::com_ptr<IShellFolder> folder;
        PCUITEMID_CHILD child = nullptr;
        zrv::com_ptr<IContextMenu> menu;
        if (SUCCEEDED(::SHBindToParent(parsed, IID_IShellFolder, folder.put_void(), &child)) &&
            SUCCEEDED(folder->GetUIObjectOf(nullptr, 1, &child, IID_IContextMenu, nullptr,
                                            menu.put_void()))) {
            CMINVOKECOMMANDINFO invoke = {};
            invoke.cbSize = sizeof(invoke);
            invoke.lpVerb = "properties";
            invoke.nShow = SW_SHOWNORMAL;
            menu->InvokeCommand(&invoke);
        }
    }
    if (pages.InitialisedAt() != 0) times.initialised = pages.InitialisedAt() - start;
    pages.Road(start, times);
    if (paint.PaintedAt() != 0) times.painted = paint.PaintedAt() - start;
    return times;
}

}  // namespace zrvbench
