#include "list_box_text.h"

namespace zrvtest {

std::vector<std::wstring> ListItems(HWND listBox) {
    std::vector<std::wstring> items;
    const LRESULT count = ::SendMessageW(listBox, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(static_cast<size_t>(::SendMessageW(listBox, LB_GETTEXTLEN, i, 0)) + 1,
                          L'\0');
        text.resize(static_cast<size_t>(
            ::SendMessageW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]))));
        items.push_back(text);
    }
    return items;
}

}  // namespace zrvtest
