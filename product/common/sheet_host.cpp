#include "sheet_host.h"

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <algorithm>

#include "common/hdrop_data_object.h"
#include "support/com_ptr.h"

namespace zrvproduct {

namespace {

struct AddContext {
    std::vector<HPROPSHEETPAGE>* pages;
};

BOOL CALLBACK AddPage(HPROPSHEETPAGE page, LPARAM param) {
    auto* context = reinterpret_cast<AddContext*>(param);
    try {
        context->pages->push_back(page);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

std::vector<CLSID> RegisteredHandlers() {
    std::vector<CLSID> result;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"*\\KestrEx\\PropertySheetHandlers", 0, KEY_READ,
                        &key) != ERROR_SUCCESS) {
        return result;
    }
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        CLSID clsid;
        if (SUCCEEDED(::CLSIDFromString(name, &clsid))) result.push_back(clsid);
    }
    ::RegCloseKey(key);
    return result;
}

CollectedPages CollectPages(const std::vector<std::wstring>& paths) {
    CollectedPages collected;
    zrv::com_ptr<IDataObject> data;
    if (FAILED(CreateDropDataObject(paths, data.put()))) return collected;
    for (const CLSID& clsid : RegisteredHandlers()) {
        HandlerOutcome outcome;
        outcome.clsid = clsid;
        zrv::com_ptr<IShellExtInit> init;
        outcome.create = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                            init.put_void());
        if (SUCCEEDED(outcome.create) && init) {
            outcome.initialize = init->Initialize(nullptr, data.get(), nullptr);
            if (SUCCEEDED(outcome.initialize)) {
                zrv::com_ptr<IShellPropSheetExt> sheet;
                if (SUCCEEDED(init->QueryInterface(IID_IShellPropSheetExt, sheet.put_void()))) {
                    AddContext context{&collected.pages};
                    outcome.addPages =
                        sheet->AddPages(&AddPage, reinterpret_cast<LPARAM>(&context));
                }
            }
        }
        collected.handlers.push_back(outcome);
    }
    return collected;
}

void DestroyPages(std::vector<HPROPSHEETPAGE>& pages) {
    for (HPROPSHEETPAGE page : pages) ::DestroyPropertySheetPage(page);
    pages.clear();
}

HWND CreateModelessSheet(const std::wstring& firstPath, std::vector<HPROPSHEETPAGE>& pages,
                         HWND owner) {
    if (pages.empty()) return nullptr;
    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_MODELESS | PSH_PROPTITLE | PSH_NOCONTEXTHELP;
    header.hwndParent = owner;
    header.pszCaption = ::PathFindFileNameW(firstPath.c_str());
    header.nPages = static_cast<UINT>(pages.size());
    header.phpage = pages.data();
    HWND sheet = reinterpret_cast<HWND>(::PropertySheetW(&header));
    if (!sheet || sheet == reinterpret_cast<HWND>(-1)) {
        DestroyPages(pages);
        return nullptr;
    }
    pages.clear();  // the sheet owns them now
    return sheet;
}

void PumpMessages(HWND sheet) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (sheet && ::IsWindow(sheet) && PropSheet_IsDialogMessage(sheet, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void PumpMessagesFor(HWND sheet, DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        PumpMessages(sheet);
        const DWORD spent = ::GetTickCount() - start;
        if (spent >= milliseconds) break;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(milliseconds - spent, 10),
                                    QS_ALLINPUT);
    }
}

namespace {

HRESULT SaveScreenAreaPng(const RECT& rect, const std::wstring& path) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);

    HRESULT hr;
    {
        zrv::com_ptr<IWICImagingFactory> factory;
        zrv::com_ptr<IWICBitmap> image;
        zrv::com_ptr<IWICStream> stream;
        zrv::com_ptr<IWICBitmapEncoder> encoder;
        zrv::com_ptr<IWICBitmapFrameEncode> frame;
        hr = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.put_void());
        if (SUCCEEDED(hr))
            hr = factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha,
                                                  image.put());
        if (SUCCEEDED(hr)) hr = factory->CreateStream(stream.put());
        if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
        if (SUCCEEDED(hr))
            hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put());
        if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
        if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(frame.put(), nullptr);
        if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
        if (SUCCEEDED(hr)) hr = frame->WriteSource(image.get(), nullptr);
        if (SUCCEEDED(hr)) hr = frame->Commit();
        if (SUCCEEDED(hr)) hr = encoder->Commit();
    }
    ::DeleteObject(bitmap);
    return hr;
}

}  // namespace

HRESULT SaveWindowPng(HWND window, const std::wstring& path) {
    RECT rect;
    if (!::GetWindowRect(window, &rect)) return HRESULT_FROM_WIN32(::GetLastError());
    return SaveScreenAreaPng(rect, path);
}

HRESULT SaveWindowsPng(HWND first, HWND second, const std::wstring& path) {
    RECT one, two, both;
    if (!::GetWindowRect(first, &one) || !::GetWindowRect(second, &two))
        return HRESULT_FROM_WIN32(::GetLastError());
    ::UnionRect(&both, &one, &two);
    return SaveScreenAreaPng(both, path);
}

}  // namespace zrvproduct
