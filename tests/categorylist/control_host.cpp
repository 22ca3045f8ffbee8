#include "control_host.h"

#include <ocidl.h>

namespace zrvcatlisttest {
namespace {

constexpr wchar_t kTopClass[] = L"CategoryListTestTop";

template <typename Fn>
Fn Slot(void* object, int index) {
    return reinterpret_cast<Fn>((*reinterpret_cast<void***>(object))[index]);
}

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
                  : nullptr;
}

void RegisterTopClass() {
    static const bool registered = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kTopClass;
        return ::RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

}  // namespace

AtlHosting::AtlHosting() : module(::LoadLibraryW(L"atl80.dll")) {
    winInit = Export<decltype(winInit)>(module, "AtlAxWinInit");
    createControlEx = Export<decltype(createControlEx)>(module, "AtlAxCreateControlEx");
    getControl = Export<decltype(getControl)>(module, "AtlAxGetControl");
    if (winInit) winInit();
}

const AtlHosting& Atl() {
    static const AtlHosting atl;
    return atl;
}

HostedControl::HostedControl(const RECT& hostRect) {
    if (!Atl().ok()) return;
    RegisterTopClass();
    m_top =
        ::CreateWindowExW(0, kTopClass, L"category list test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                          0, 500, 400, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    m_host = ::CreateWindowExW(0, L"AtlAxWin80", nullptr, WS_CHILD | WS_VISIBLE, hostRect.left,
                               hostRect.top, hostRect.right - hostRect.left,
                               hostRect.bottom - hostRect.top, m_top, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
    if (!m_host) return;
    if (FAILED(Atl().createControlEx(kCategoryListControlClsidText, m_host, nullptr, nullptr,
                                     nullptr, IID_NULL, nullptr))) {
        return;
    }
    zrv::com_ptr<IUnknown> control;
    if (FAILED(Atl().getControl(m_host, control.put()))) return;
    control.query(IID_ICategoryList, list);
}

HostedControl::~HostedControl() {
    list.reset();
    if (m_top) ::DestroyWindow(m_top);
}

HWND HostedControl::ControlWindow() const {
    zrv::com_ptr<IOleWindow> window;
    HWND handle = nullptr;
    if (SUCCEEDED(list.query(IID_IOleWindow, window))) window->GetWindow(&handle);
    return handle;
}

HWND HostedControl::ListBox() const {
    HWND control = ControlWindow();
    return control ? ::FindWindowExW(control, nullptr, L"ListBox", nullptr) : nullptr;
}

void HostedControl::DestroyHost() {
    if (m_host) ::DestroyWindow(m_host);
    m_host = nullptr;
}

HRESULT SetDocumentSlot(ICategoryList* list, const wchar_t* path) {
    BSTR text = path ? ::SysAllocString(path) : nullptr;
    const HRESULT hr = Slot<HRESULT(STDMETHODCALLTYPE*)(void*, BSTR)>(list, 9)(list, text);
    ::SysFreeString(text);
    return hr;
}

HRESULT ConfigureSlot(ICategoryList* list, long flags) {
    return Slot<HRESULT(STDMETHODCALLTYPE*)(void*, long)>(list, 13)(list, flags);
}

HRESULT GetSelectionSlot(ICategoryList* list, ICategoryEnum** selection) {
    return Slot<HRESULT(STDMETHODCALLTYPE*)(void*, ICategoryEnum**)>(list, 11)(list, selection);
}

HRESULT ResetSlot(ICategoryEnum* selection) {
    return Slot<HRESULT(STDMETHODCALLTYPE*)(void*)>(selection, 3)(selection);
}

HRESULT NextSlot(ICategoryEnum* selection, ULONG count, CategoryItem* items, ULONG* fetched) {
    return Slot<HRESULT(STDMETHODCALLTYPE*)(void*, ULONG, CategoryItem*, ULONG*)>(selection, 4)(
        selection, count, items, fetched);
}

std::vector<std::wstring> WalkSelection(ICategoryList* list) {
    std::vector<std::wstring> names;
    ICategoryEnum* selection = nullptr;
    if (GetSelectionSlot(list, &selection) != S_OK || !selection) return names;
    ResetSlot(selection);
    CategoryItem item;
    ULONG fetched = 0;
    while (NextSlot(selection, 1, &item, &fetched) == S_OK) names.push_back(item.name);
    return names;  // the enumerator is the control's: not released
}

void SelectItems(HWND listBox, const std::vector<int>& indexes) {
    ::SendMessageW(listBox, LB_SETSEL, FALSE, -1);
    for (int index : indexes) ::SendMessageW(listBox, LB_SETSEL, TRUE, index);
}

RECT WindowRectIn(HWND window, HWND reference) {
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    ::MapWindowPoints(HWND_DESKTOP, reference, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

HRESULT ControlDllCanUnloadNow() {
    using CanUnloadNow = HRESULT(WINAPI*)();
    const auto canUnloadNow =
        Export<CanUnloadNow>(::GetModuleHandleW(L"ZRVCategoryList.dll"), "DllCanUnloadNow");
    return canUnloadNow ? canUnloadNow() : S_OK;
}

}  // namespace zrvcatlisttest
