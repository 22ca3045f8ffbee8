#include "not_saved_message.h"

#include "module/module.h"
#include "support/cstring.h"

namespace {

constexpr UINT kStyle = MB_OK | MB_ICONWARNING;

}  // namespace

void ShowNotSavedMessage(HWND page, UINT messageId) noexcept {
    HWND sheet = ::GetParent(page);
    wchar_t caption[260] = {};
    ::GetWindowTextW(sheet, caption, ARRAYSIZE(caption));
    try {
        CString text;
        if (text.LoadLocalizedString(messageId) && !text.IsEmpty()) {
            ::MessageBoxW(sheet, text, caption, kStyle);
            return;
        }
    } catch (...) {
        // No memory for the translation: the module's own text below needs
        // none, and the user must hear of the loss all the same.
    }
    wchar_t english[512] = {};
    ::LoadStringW(g_module.Instance(), messageId, english, ARRAYSIZE(english));
    ::MessageBoxW(sheet, english, caption, kStyle);
}
