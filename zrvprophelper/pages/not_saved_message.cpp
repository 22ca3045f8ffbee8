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
    // Without memory for the translation the module's own text below, which
    // needs none, is shown: the user must hear of the loss all the same.
    CString text;
    if (text.LoadLocalizedString(messageId) == S_OK && !text.IsEmpty()) {
        ::MessageBoxW(sheet, text, caption, kStyle);
        return;
    }
    wchar_t english[512] = {};
    ::LoadStringW(g_module.Instance(), messageId, english, ARRAYSIZE(english));
    ::MessageBoxW(sheet, english, caption, kStyle);
}
