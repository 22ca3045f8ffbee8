#include "localize_dialog.h"

#include "localization/localizer.h"
#include "support/bstr.h"

namespace {

constexpr int kTextBuffer = 260;

// The translation of one of the dialog's texts: key is "caption" for the
// page, or a control's id, and text, the window's own, is the default.
HRESULT AskDialogText(IAppLocalizer* localizer, const CString& moduleStem,
                      const CString& dialogText, const CString& key, const wchar_t* text,
                      CComBSTR& answer) {
    return localizer->GetDialogString(CComBSTR(moduleStem), CComBSTR(dialogText), CComBSTR(key),
                                      CComBSTR(text), answer.put());
}

void LocalizeCaption(CZRVLocalizer& localizer, HWND page, int dialogId) {
    if (!localizer.Localizer()) return;
    CString dialogText;
    dialogText.Format(L"%u", static_cast<unsigned>(dialogId));
    wchar_t caption[kTextBuffer] = {};
    ::GetWindowTextW(page, caption, kTextBuffer);
    CComBSTR answer;
    const HRESULT hr = AskDialogText(localizer.Localizer(), localizer.ModuleStem(), dialogText,
                                     L"caption", caption, answer);
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
            AskDialogText(context->localizer, context->moduleStem, dialogText, key, text, answer);
        if (SUCCEEDED(hr) && answer && answer[0] != L'\0') ::SetWindowTextW(child, answer);
    } catch (...) {
        // Out of memory for one control's request: it keeps its text, and the
        // enumeration (a system callback) never sees the exception.
    }
    return TRUE;
}
