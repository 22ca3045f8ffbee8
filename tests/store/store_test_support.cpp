#include "store_test_support.h"

#include "common/test_paths.h"
#include "store/core/utf8.h"
#include "support/handles.h"

namespace zrvstoretest {

void StoreTest::SetUp() {
    m_folder = zrvtest::MakeScratchFolder(L"store");
    ASSERT_FALSE(m_folder.empty());
    m_storeFile = m_folder + L"\\documents.store";
    m_journalFile = m_folder + L"\\documents.journal";
    ::SetEnvironmentVariableW(L"ZRV_DOCUMENT_STORE", m_storeFile.c_str());
}

void StoreTest::TearDown() {
    ::SetEnvironmentVariableW(L"ZRV_DOCUMENT_STORE", nullptr);
    zrvtest::RemoveTree(m_folder);
}

RawCatalog::RawCatalog() {
    ::CoCreateInstance(CLSID_DocumentCatalog, nullptr, CLSCTX_INPROC_SERVER, IID_IDocumentCatalog,
                       m_catalog.put_void());
}

HRESULT RawCatalog::Reserved(int slot) {
    return Slot<HRESULT(STDMETHODCALLTYPE*)(void*)>(slot)(m_catalog.get());
}

HRESULT RawCatalog::SaveDocument(const wchar_t* path) {
    BSTR text = path ? ::SysAllocString(path) : nullptr;
    const HRESULT hr = Slot<HRESULT(STDMETHODCALLTYPE*)(void*, BSTR)>(8)(m_catalog.get(), text);
    ::SysFreeString(text);
    return hr;
}

HRESULT RawCatalog::GetStringProperty(int id, BSTR* text) {
    return Slot<HRESULT(STDMETHODCALLTYPE*)(void*, int, BSTR*)>(12)(m_catalog.get(), id, text);
}

HRESULT RawCatalog::SetStringProperty(int id, BSTR* text) {
    return Slot<HRESULT(STDMETHODCALLTYPE*)(void*, int, BSTR*)>(13)(m_catalog.get(), id, text);
}

HRESULT RawCatalog::GetProperty(int id, PROPVARIANT* value) {
    return Slot<HRESULT(STDMETHODCALLTYPE*)(void*, int, PROPVARIANT*)>(14)(m_catalog.get(), id,
                                                                           value);
}

HRESULT RawCatalog::SetProperty(int id, PROPVARIANT* value) {
    return Slot<HRESULT(STDMETHODCALLTYPE*)(void*, int, PROPVARIANT*)>(15)(m_catalog.get(), id,
                                                                           value);
}

HRESULT RawCatalog::OpenDocument(const wchar_t* path) {
    BSTR text = path ? ::SysAllocString(path) : nullptr;
    const HRESULT hr = Slot<HRESULT(STDMETHODCALLTYPE*)(void*, BSTR)>(16)(m_catalog.get(), text);
    ::SysFreeString(text);
    return hr;
}

long RawCatalog::CanEditProperty(const wchar_t* path, int id) {
    BSTR text = path ? ::SysAllocString(path) : nullptr;
    const long result =
        Slot<long(STDMETHODCALLTYPE*)(void*, BSTR, int)>(21)(m_catalog.get(), text, id);
    ::SysFreeString(text);
    return result;
}

HRESULT RawCatalog::SetText(int id, const wchar_t* text) {
    BSTR value = ::SysAllocString(text);
    const HRESULT hr = SetStringProperty(id, &value);
    ::SysFreeString(value);
    return hr;
}

HRESULT RawCatalog::SetUInt(int id, ULONG value) {
    PROPVARIANT v;
    ::PropVariantInit(&v);
    v.vt = VT_UI4;
    v.ulVal = value;
    return SetProperty(id, &v);
}

HRESULT RawCatalog::SetFileTime(ULONGLONG value) {
    PROPVARIANT v;
    ::PropVariantInit(&v);
    v.vt = VT_FILETIME;
    v.filetime.dwLowDateTime = static_cast<DWORD>(value);
    v.filetime.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return SetProperty(17, &v);
}

std::wstring RawCatalog::Text(int id) {
    BSTR text = nullptr;
    const HRESULT hr = GetStringProperty(id, &text);
    std::wstring result;
    if (FAILED(hr)) {
        wchar_t code[32] = {};
        ::wsprintfW(code, L"<failed 0x%08lX>", static_cast<unsigned long>(hr));
        result = code;
    } else {
        result = text ? std::wstring(text, ::SysStringLen(text)) : L"<null>";
    }
    ::SysFreeString(text);
    return result;
}

ULONGLONG RawCatalog::Value(int id, VARTYPE* vt) {
    PROPVARIANT v;
    ::ZeroMemory(&v, sizeof(v));
    const HRESULT hr = GetProperty(id, &v);
    if (vt) *vt = v.vt;
    ULONGLONG result = ~0ull;
    if (SUCCEEDED(hr)) {
        result = v.vt == VT_FILETIME
                     ? (ULONGLONG{v.filetime.dwHighDateTime} << 32) | v.filetime.dwLowDateTime
                     : v.ulVal;
    }
    ::PropVariantClear(&v);
    return result;
}

HRESULT RawUpdateDocument(IDocumentProperties* properties, const wchar_t* path) {
    using UpdateFn = HRESULT(STDMETHODCALLTYPE*)(void*, BSTR);
    void** table = *reinterpret_cast<void***>(properties);
    BSTR text = path ? ::SysAllocString(path) : nullptr;
    const HRESULT hr = reinterpret_cast<UpdateFn>(table[13])(properties, text);
    ::SysFreeString(text);
    return hr;
}

std::wstring ProgramPath(const wchar_t* name) { return zrvtest::ProgramFolder() + name; }

int RunCaptured(const std::wstring& commandLine, std::string& output, unsigned timeoutMs) {
    output.clear();
    wchar_t temp[MAX_PATH] = {};
    wchar_t outFile[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    ::GetTempFileNameW(temp, L"zso", 0, outFile);
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    int code = -1;
    {
        zrv::unique_hfile out(::CreateFileW(outFile, GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) return -1;
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = nullptr;
        si.hStdOutput = out.get();
        si.hStdError = out.get();
        PROCESS_INFORMATION pi = {};
        std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
        line.push_back(L'\0');
        if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                             &pi)) {
            zrv::unique_handle process(pi.hProcess), thread(pi.hThread);
            DWORD exitCode = 0;
            if (::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0 &&
                ::GetExitCodeProcess(process.get(), &exitCode)) {
                code = static_cast<int>(exitCode);
            } else {
                ::TerminateProcess(process.get(), 1);
            }
        }
    }
    output = zrvtest::ReadFileBytes(outFile);
    ::DeleteFileW(outFile);
    return code;
}

int RunStoreTool(const std::wstring& arguments, std::string& output) {
    return RunCaptured(L"\"" + ProgramPath(L"zrvstore.exe") + L"\" " + arguments, output);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string Narrow(const std::wstring& text) { return zrvstore::ToUtf8(text); }

}  // namespace zrvstoretest
