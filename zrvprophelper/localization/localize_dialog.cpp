#include "localize_dialog.h"

#include "localization/localizer.h"
#include "support/bstr.h"

namespace {

constexpr int kTextBuffer = 260;

void LocalizeCaption(CZRVLocalizer& localizer, HWND page, int dialogId) {
    if (!localizer.Localizer()) return;
    CString dialogText;
    dialogText.Format(L"%u", static_cast<unsigned>(dialogId));
    wchar_t caption[kTextBuffer] = {};
    ::GetWindowTextW(page, caption, kTextBuffer);
    CComBSTR answer;
    const HRESULT hr = localizer.Localizer()->GetDialogString(
        CComBSTR(localizer.ModuleStem()), CComBSTR(dialogText), CComBSTR(L"caption"),
        CComBSTR(caption), answer.put());
    if (SUCCEEDED(hr) && answer) ::SetWindowTextW(page, answer);
}

}  // namespace

void LocalizeDialog(HWND page, int dialogId) noexcept {
    if (!::IsWindow(page)) return;
    CZRVLocalizer localizer;
    try {
        LocalizeCaption(localizer, page, dialogId);
    } catch (...) {
        // Out of memory for the caption's request: it keeps its text, and the
        // controls are still asked for.
    }
    ChildLocalizeContext context{localizer.Localizer(), dialogId, localizer.ModuleStem(), page};
    ::EnumChildWindows(page, &LocalizeChildControl, reinterpret_cast<LPARAM>(&context));
}

// Every direct child gets the default GUI font; those with a text and an id
// get their translation. Grandchildren belong to their own parents.
BOOL CALLBACK LocalizeChildControl(HWND child, LPARAM param) {
    auto* context = reinterpret_cast<ChildLocalizeContext*>(param);
    if (!context || !context->localizer) return FALSE;
    if (::GetParent(child) != context->page) return TRUE;
    try {
        ::SendMessageW(child, WM_SETFONT,
                       reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), 0);
        const int id = ::GetDlgCtrlID(child);
        wchar_t text[kTextBuffer] = {};
        ::GetWindowTextW(child, text, kTextBuffer);
        if (text[0] == L'\0' || id == 0) return TRUE;

        CString key;
        key.Format(L"%d", id);
        CString dialogText;
        dialogText.Format(L"%d", context->dialogId);
        CComBSTR answer;
        const HRESULT hr =
            context->localizer->GetDialogString(CComBSTR(context->moduleStem), CComBSTR(dialogText),
                                                CComBSTR(key), CComBSTR(text), answer.put());
        if (SUCCEEDED(hr) && answer && answer[0] != L'\0') ::SetWindowTextW(child, answer);
    } catch (...) {
        // Out of memory for one control's request: it keeps its text, and the
        // enumeration (a system callback) never sees the exception.
    }
    return TRUE;
}
