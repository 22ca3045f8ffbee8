#pragma once
// What the document store tests share: a private store per test, the two
// classes reached through raw vtable slots as the pages call them, and
// child processes whose output is kept.

#include <windows.h>
#include <oleauto.h>
#include <propidl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/component_ids.h"
#include "support/com_ptr.h"

namespace zrvstoretest {

// Each test gets a scratch folder and a store file in it, named through the
// environment, which child processes inherit.
class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::wstring Document(const std::wstring& name) const { return m_folder + L"\\" + name; }

    std::wstring m_folder;
    std::wstring m_storeFile;
    std::wstring m_journalFile;
};

// IDocumentCatalog called slot by slot.
class RawCatalog {
  public:
    RawCatalog();  // CoCreateInstance with CLSCTX_INPROC_SERVER
    bool ok() const { return static_cast<bool>(m_catalog); }
    IDocumentCatalog* get() const { return m_catalog.get(); }

    HRESULT Reserved(int slot);
    HRESULT SaveDocument(const wchar_t* path);
    HRESULT GetStringProperty(int id, BSTR* text);
    HRESULT SetStringProperty(int id, BSTR* text);
    HRESULT GetProperty(int id, PROPVARIANT* value);
    HRESULT SetProperty(int id, PROPVARIANT* value);
    HRESULT OpenDocument(const wchar_t* path);
    long CanEditProperty(const wchar_t* path, int id);

    // Conveniences over the slots above.
    HRESULT SetText(int id, const wchar_t* text);
    HRESULT SetUInt(int id, ULONG value);
    HRESULT SetFileTime(ULONGLONG value);
    // The text, "<null>" for a null BSTR, "<failed 0x...>" when the call failed.
    std::wstring Text(int id);
    // The value's bits; vt receives the variant type. ~0 when the call failed.
    ULONGLONG Value(int id, VARTYPE* vt = nullptr);

  private:
    template <typename F>
    F Slot(int index) const {
        void** table = *reinterpret_cast<void***>(m_catalog.get());
        return reinterpret_cast<F>(table[index]);
    }

    zrv::com_ptr<IDocumentCatalog> m_catalog;
};

// IDocumentProperties::UpdateDocument through slot 13.
HRESULT RawUpdateDocument(IDocumentProperties* properties, const wchar_t* path);

std::wstring ProgramPath(const wchar_t* name);  // beside the test program
// Runs a command line with stdout and stderr going to a file; returns the
// exit code (or -1) and what it printed.
int RunCaptured(const std::wstring& commandLine, std::string& output, unsigned timeoutMs = 60000);
// zrvstore.exe with the arguments given.
int RunStoreTool(const std::wstring& arguments, std::string& output);

std::vector<std::string> Lines(const std::string& text);
std::string Narrow(const std::wstring& text);  // UTF-8

}  // namespace zrvstoretest
