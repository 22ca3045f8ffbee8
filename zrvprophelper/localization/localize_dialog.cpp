#include "localize_dialog.h"

#include "localization/localizer.h"
#include "support/bstr.h"
#include "support/hresult.h"

namespace {

constexpr int kTextBuffer = 260;

// The request's four texts; E_OUTOFMEMORY when one of them cannot be made.
struct DialogRequest {
    CComBSTR moduleStem;
    CComBSTR dialog;
    CComBSTR control;
    CComBSTR text;

    HRESULT Make(const CString& stem, int dialogId, const wchar_t* controlName,
                 const wchar_t* controlText) noexcept {
        CString dialogText;
        ZRV_RETURN_IF_FAILED(dialogText.Format(L"%d", dialogId));
        ZRV_RETURN_IF_FAILED(moduleStem.Assign(stem));
        ZRV_RETURN_IF_FAILED(dialog.Assign(dialogText));
        ZRV_RETURN_IF_FAILED(control.Assign(controlName));
        return text.Assign(controlText);
    }
};

// A caption whose request cannot be made (out of memory) keeps its text.
void LocalizeCaption(CZRVLocalizer& localizer, HWND page, int dialogId) noexcept {
    if (!localizer.Localizer()) return;
    wchar_t caption[kTextBuffer] = {};
    ::GetWindowTextW(page, caption, kTextBuffer);
    DialogRequest request;
    if (FAILED(request.Make(localizer.ModuleStem(), dialogId, L"caption", caption))) return;
    CComBSTR answer;
    const HRESULT hr = localizer.Localizer()->GetDialogString(
        request.moduleStem, request.dialog, request.control, request.text, answer.put());
    if (SUCCEEDED(hr) && answer) ::SetWindowTextW(page, answer);
}

}  // namespace

void LocalizeDialog(HWND page, int dialogId) noexcept {
    if (!::IsWindow(page)) return;
    CZRVLocalizer localizer;
    LocalizeCaption(localizer, page, dialogId);
    ChildLocalizeContext context{localizer.Localizer(), dialogId, localizer.ModuleStem(), page};
    ::EnumChildWindows(page, &LocalizeChildControl, reinterpret_cast<LPARAM>(&context));
}

// Every direct child gets the default GUI font; those with a text and an id
// get their translation. Grandchildren belong to their own parents. A
// control whose request cannot be made (out of memory) keeps its text, and
// the others are still asked for.
BOOL CALLBACK LocalizeChildControl(HWND child, LPARAM param) {
    auto* context = reinterpret_cast<ChildLocalizeContext*>(param);
    if (!context || !context->localizer) return FALSE;
    if (::GetParent(child) != context->page) return TRUE;
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   0);
    const int id = ::GetDlgCtrlID(child);
    wchar_t text[kTextBuffer] = {};
    ::GetWindowTextW(child, text, kTextBuffer);
    if (text[0] == L'\0' || id == 0) return TRUE;

    CString key;
    if (FAILED(key.Format(L"%d", id))) return TRUE;
    DialogRequest request;
    if (FAILED(request.Make(context->moduleStem, context->dialogId, key, text))) return TRUE;
    CComBSTR answer;
    const HRESULT hr = context->localizer->GetDialogString(
        request.moduleStem, request.dialog, request.control, request.text, answer.put());
    if (SUCCEEDED(hr) && answer && answer[0] != L'\0') ::SetWindowTextW(child, answer);
    return TRUE;
}
