// Runs document store work in a process of its own, for the tests that need
// a second writer or one that dies in the middle of a save.
//
//   store_test_helper save-loop <document>
//       saves title "loop <n>" with reminder n, n = 1, 2, ... until killed
//   store_test_helper save-many <tag> <folder> <count> <shared document>
//       for n = 1..count saves <folder>\<tag>-<n>.txt with title "<tag> <n>",
//       then the shared document's property <tag's text id> = "<tag> <n>" and
//       its value <tag's value id> = n; tag A uses 0 and 18, tag B 1 and 19
//   store_test_helper hold-lock
//       takes the store's lock and keeps it until killed, as a hung writer

#include <windows.h>
#include <objbase.h>

#include <string>

#include "components/component_ids.h"
#include "store/core/store_lock.h"
#include "store/core/store_paths.h"
#include "support/com_ptr.h"

namespace {

HRESULT SaveText(const std::wstring& path, int textId, const std::wstring& text, int valueId,
                 ULONG value) {
    zrv::com_ptr<IDocumentCatalog> catalog;
    HRESULT hr = ::CoCreateInstance(CLSID_DocumentCatalog, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IDocumentCatalog, catalog.put_void());
    if (FAILED(hr)) return hr;
    BSTR bpath = ::SysAllocString(path.c_str());
    BSTR btext = ::SysAllocString(text.c_str());
    hr = catalog->OpenDocument(bpath);
    if (SUCCEEDED(hr)) hr = catalog->SetStringProperty(textId, &btext);
    if (SUCCEEDED(hr) && valueId > 0) {
        PROPVARIANT v;
        ::PropVariantInit(&v);
        v.vt = VT_UI4;
        v.ulVal = value;
        hr = catalog->SetProperty(valueId, &v);
    }
    if (SUCCEEDED(hr)) hr = catalog->SaveDocument(bpath);
    ::SysFreeString(btext);
    ::SysFreeString(bpath);
    return hr;
}

int SaveLoop(const std::wstring& document) {
    for (ULONG n = 1;; ++n) {
        if (FAILED(SaveText(document, 0, L"loop " + std::to_wstring(n), 18, n))) return 3;
    }
}

int SaveMany(const std::wstring& tag, const std::wstring& folder, int count,
             const std::wstring& shared) {
    const bool first = tag == L"A";
    for (int n = 1; n <= count; ++n) {
        const std::wstring text = tag + L" " + std::to_wstring(n);
        const std::wstring own = folder + L"\\" + tag + L"-" + std::to_wstring(n) + L".txt";
        if (FAILED(SaveText(own, 0, text, 0, 0))) return 4;
        if (FAILED(SaveText(shared, first ? 0 : 1, text, first ? 18 : 19, n))) return 5;
    }
    return 0;
}

int HoldLock() {
    std::wstring storeFile;
    if (FAILED(zrvstore::ResolveStoreFile(storeFile))) return 6;
    zrvstore::StoreLock lock;
    if (FAILED(lock.Acquire(storeFile, INFINITE))) return 6;
    ::Sleep(INFINITE);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int result = 2;
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"save-loop" && argc == 3) result = SaveLoop(argv[2]);
    if (mode == L"save-many" && argc == 6)
        result = SaveMany(argv[2], argv[3], _wtoi(argv[4]), argv[5]);
    if (mode == L"hold-lock" && argc == 2) result = HoldLock();
    ::CoUninitialize();
    return result;
}
