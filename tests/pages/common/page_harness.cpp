#include "page_harness.h"

#include "common/hdrop_data_object.h"
#include "common/message_box_watch.h"
#include "common/sheet_host.h"
#include "support/com_ptr.h"

namespace zrvtest {

namespace {

constexpr int kApplyButton = 0x3021;

BOOL CALLBACK Collect(HPROPSHEETPAGE page, LPARAM param) {
    reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(param)->push_back(page);
    return TRUE;
}

}  // namespace

PageSheet::PageSheet(const std::vector<ObjectCreator>& handlers,
                     const std::vector<std::wstring>& paths) {
    zrv::com_ptr<IDataObject> data;
    if (FAILED(zrvproduct::CreateDropDataObject(paths, data.put()))) return;
    std::vector<HPROPSHEETPAGE> pages;
    for (ObjectCreator create : handlers) {
        zrv::com_ptr<IShellExtInit> init;
        if (FAILED(create(nullptr, IID_IShellExtInit, init.put_void()))) continue;
        const HRESULT hr = init->Initialize(nullptr, data.get(), nullptr);
        m_initialize.push_back(hr);
        if (FAILED(hr)) continue;
        zrv::com_ptr<IShellPropSheetExt> sheet;
        if (SUCCEEDED(init.query(IID_IShellPropSheetExt, sheet))) {
            sheet->AddPages(&Collect, reinterpret_cast<LPARAM>(&pages));
        }
    }
    if (paths.empty() || pages.empty()) return;
    m_sheet = zrvproduct::CreateModelessSheet(paths[0], pages);
    Pump();
}

PageSheet::~PageSheet() { Close(); }

int PageSheet::pageCount() const {
    return m_sheet ? TabCtrl_GetItemCount(PropSheet_GetTabControl(m_sheet)) : 0;
}

HWND PageSheet::Page(int index) {
    if (!m_sheet) return nullptr;
    PropSheet_SetCurSel(m_sheet, nullptr, index);
    Pump();
    return PropSheet_IndexToHwnd(m_sheet, index);
}

void PageSheet::Pump(DWORD ms) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        zrvproduct::PumpMessages(m_sheet);
        if (::GetTickCount() - start >= ms) break;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void PageSheet::Apply() { Press(PSBTN_APPLYNOW); }
bool PageSheet::Ok() { return Press(PSBTN_OK); }
bool PageSheet::Cancel() { return Press(PSBTN_CANCEL); }

// A modeless sheet that ended has no current page; its window stays until
// the host destroys it.
bool PageSheet::Press(int button) {
    if (!m_sheet) return false;
    {
        zrvproduct::MessageBoxWatch watch(
            m_sheet, [this](HWND, const std::wstring& text) { m_messages.push_back(text); });
        PropSheet_PressButton(m_sheet, button);
        Pump();
    }
    return PropSheet_GetCurrentPageHwnd(m_sheet) == nullptr;
}

std::vector<std::wstring> PageSheet::Messages() {
    std::vector<std::wstring> taken;
    taken.swap(m_messages);
    return taken;
}

bool PageSheet::ApplyEnabled() const {
    HWND apply = ::GetDlgItem(m_sheet, kApplyButton);
    return apply && ::IsWindowEnabled(apply);
}

void PageSheet::Close() {
    if (m_sheet) {
        ::DestroyWindow(m_sheet);
        m_sheet = nullptr;
        zrvproduct::PumpMessages(nullptr);
    }
}

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(length + 1, L'\0');
    text.resize(::GetWindowTextW(window, &text[0], length + 1));
    return text;
}

std::wstring ModuleString(UINT id) {
    const wchar_t* text = nullptr;
    const int length =
        ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

void Click(HWND page, int id) {
    ::SendMessageW(::GetDlgItem(page, id), BM_CLICK, 0, 0);
    zrvproduct::PumpMessages(::GetParent(page));
}

void Type(HWND page, int id, const std::wstring& text) {
    HWND edit = ::GetDlgItem(page, id);
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, EN_UPDATE), reinterpret_cast<LPARAM>(edit));
    ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), reinterpret_cast<LPARAM>(edit));
    zrvproduct::PumpMessages(::GetParent(page));
}

bool IsChecked(HWND page, int id) { return ::IsDlgButtonChecked(page, id) == BST_CHECKED; }

}  // namespace zrvtest
