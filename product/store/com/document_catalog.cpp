#include "document_catalog.h"

#include <cwchar>
#include <new>

#include "store/core/store_paths.h"
#include "support/caught_exception.h"
#include "support/com_ptr.h"

namespace zrvstore::server {

namespace {

HRESULT CopyText(const std::wstring& text, BSTR* out) {
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The path as the journal shows it: normalised when it can be.
std::wstring JournalPath(const wchar_t* path) {
    std::wstring normalized;
    if (SUCCEEDED(NormalizeDocumentPath(path, normalized))) return normalized;
    return path ? path : L"";
}

// Test-only fault injection: ZRV_STORE_TEST_FAILING_READS and
// ZRV_STORE_TEST_FAILING_WRITES list property ids ("0,4,17") whose reads or
// writes fail after a successful open, as they would when the store is
// damaged or locked between the open and the call.
bool ListedForTesting(const wchar_t* variable, int id) {
    wchar_t ids[128] = {};
    const DWORD length = ::GetEnvironmentVariableW(variable, ids, 128);
    if (length == 0 || length >= 128) return false;
    for (const wchar_t* p = ids; *p;) {
        wchar_t* end = nullptr;
        const long listed = std::wcstol(p, &end, 10);
        if (end == p) break;
        if (listed == id) return true;
        p = *end ? end + 1 : end;
    }
    return false;
}

bool ReadFailsForTesting(int id) { return ListedForTesting(L"ZRV_STORE_TEST_FAILING_READS", id); }

bool WriteFailsForTesting(int id) { return ListedForTesting(L"ZRV_STORE_TEST_FAILING_WRITES", id); }

}  // namespace

HRESULT DocumentCatalog::Create(REFIID iid, void** object) try {
    std::wstring storeFile;
    ZRV_RETURN_IF_FAILED(ResolveStoreFile(storeFile));
    const auto catalog =
        zrv::com_ptr<DocumentCatalog>::attach(new (std::nothrow) DocumentCatalog(storeFile));
    ZRV_RETURN_IF_NULL_ALLOC(catalog.get());
    return catalog->QueryInterface(iid, object);
}
ZRV_CATCH_RETURN()

DocumentCatalog::DocumentCatalog(const std::wstring& storeFile) : m_journal(storeFile) {
    m_store.Initialize(storeFile);
}

STDMETHODIMP DocumentCatalog::OpenDocument(BSTR path) try {
    m_open = false;
    m_path.clear();
    m_unsaved = DocumentChanges();

    std::wstring normalized;
    HRESULT hr = NormalizeDocumentPath(path, normalized);
    if (SUCCEEDED(hr)) {
        DocumentRecord stored;
        bool found = false;
        hr = m_store.Find(normalized, stored, found);
        // The store keeps the spelling that it saw first.
        if (SUCCEEDED(hr)) m_path = found ? stored.path : normalized;
    }
    m_open = SUCCEEDED(hr);
    m_notOpenResult = SUCCEEDED(hr) ? E_UNEXPECTED : hr;
    return SUCCEEDED(hr) ? S_OK : hr;
}
ZRV_CATCH_RETURN()

HRESULT DocumentCatalog::ReadStored(DocumentRecord& document) const {
    bool found = false;
    ZRV_RETURN_IF_FAILED(m_store.Find(m_path, document, found));
    if (!found) document = DocumentRecord();
    return S_OK;
}

STDMETHODIMP DocumentCatalog::GetStringProperty(int id, BSTR* text) try {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (!IsTextProperty(id)) return E_INVALIDARG;
    if (!m_open) return m_notOpenResult;
    if (ReadFailsForTesting(id)) return HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION);
    if (m_unsaved.properties.Has(id)) return CopyText(m_unsaved.properties.texts[id], text);
    DocumentRecord stored;
    ZRV_RETURN_IF_FAILED(ReadStored(stored));
    return stored.Has(id) ? CopyText(stored.texts[id], text) : S_OK;
}
ZRV_CATCH_RETURN()

STDMETHODIMP DocumentCatalog::SetStringProperty(int id, BSTR* text) try {
    const HRESULT hr = SetText(id, text);
    m_journal.Record(L"SetStringProperty", id, m_path);
    return hr;
}
ZRV_CATCH_RETURN()

// Callers hand in a buffer BSTR whose length is the buffer's, not the text's.
HRESULT DocumentCatalog::SetText(int id, const BSTR* text) {
    if (!text) return E_POINTER;
    if (!IsTextProperty(id)) return E_INVALIDARG;
    if (!m_open) return m_notOpenResult;
    if (WriteFailsForTesting(id)) return HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION);
    const BSTR value = *text;
    const size_t length = value ? ::wcsnlen(value, ::SysStringLen(value)) : 0;
    if (length > kMaxTextChars) return E_INVALIDARG;
    m_unsaved.properties.SetText(id, std::wstring(value ? value : L"", length));
    return S_OK;
}

STDMETHODIMP DocumentCatalog::GetProperty(int id, PROPVARIANT* value) try {
    if (!value) return E_POINTER;
    ::PropVariantInit(value);
    if (!IsValueProperty(id)) return E_INVALIDARG;
    if (!m_open) return m_notOpenResult;
    if (ReadFailsForTesting(id)) return HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION);
    ULONGLONG stored = 0;
    if (m_unsaved.properties.Has(id)) {
        stored = m_unsaved.properties.Value(id);
    } else {
        DocumentRecord document;
        ZRV_RETURN_IF_FAILED(ReadStored(document));
        stored = document.Value(id);
    }
    if (id == kExpirationId) {
        value->vt = VT_FILETIME;
        value->filetime.dwLowDateTime = static_cast<DWORD>(stored);
        value->filetime.dwHighDateTime = static_cast<DWORD>(stored >> 32);
    } else {
        value->vt = VT_UI4;
        value->ulVal = static_cast<ULONG>(stored);
    }
    return S_OK;
}
ZRV_CATCH_RETURN()

STDMETHODIMP DocumentCatalog::SetProperty(int id, PROPVARIANT* value) try {
    const HRESULT hr = SetValue(id, value);
    m_journal.Record(L"SetProperty", id, m_path);
    return hr;
}
ZRV_CATCH_RETURN()

HRESULT DocumentCatalog::SetValue(int id, const PROPVARIANT* value) {
    if (!value) return E_POINTER;
    if (!IsValueProperty(id)) return E_INVALIDARG;
    if (!m_open) return m_notOpenResult;
    if (WriteFailsForTesting(id)) return HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION);
    ULONGLONG stored = 0;
    if (id == kExpirationId) {
        if (value->vt != VT_FILETIME) return DISP_E_TYPEMISMATCH;
        stored = (ULONGLONG{value->filetime.dwHighDateTime} << 32) | value->filetime.dwLowDateTime;
    } else {
        switch (value->vt) {
            case VT_UI4:
                stored = value->ulVal;
                break;
            case VT_UINT:
                stored = value->uintVal;
                break;
            case VT_I4:
            case VT_INT: {
                const LONG signedValue = value->vt == VT_I4 ? value->lVal : value->intVal;
                if (signedValue < 0) return E_INVALIDARG;
                stored = static_cast<ULONGLONG>(signedValue);
                break;
            }
            default:
                return DISP_E_TYPEMISMATCH;
        }
    }
    m_unsaved.properties.SetValue(id, stored);
    return S_OK;
}

STDMETHODIMP DocumentCatalog::SaveDocument(BSTR path) try {
    const std::wstring journalPath = JournalPath(path);
    const HRESULT hr = Save(journalPath);
    m_journal.Record(L"SaveDocument", journalPath);
    return hr;
}
ZRV_CATCH_RETURN()

HRESULT DocumentCatalog::Save(const std::wstring& path) {
    if (!m_open) return m_notOpenResult;
    std::wstring normalized;
    ZRV_RETURN_IF_FAILED(NormalizeDocumentPath(path.c_str(), normalized));
    if (!SameDocumentPath(normalized, m_path)) return E_INVALIDARG;
    ZRV_RETURN_IF_FAILED(m_store.Commit(m_path, m_unsaved, DocumentStore::ReadOnlyRule::Refuse));
    m_unsaved = DocumentChanges();
    return S_OK;
}

STDMETHODIMP_(long) DocumentCatalog::CanEditProperty(BSTR path, int id) {
    try {
        if (!IsKnownProperty(id)) return 0;
        std::wstring normalized;
        if (FAILED(NormalizeDocumentPath(path, normalized))) return 0;
        DocumentRecord stored;
        bool found = false;
        if (FAILED(m_store.Find(normalized, stored, found))) return 0;
        return found && stored.readOnly ? 0 : 1;
    } catch (...) {
        return 0;
    }
}

}  // namespace zrvstore::server
