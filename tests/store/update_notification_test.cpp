// DocumentProperties: announcements to listeners of this process, and the
// journal through which other processes see what the pages asked for.

#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include "common/test_paths.h"
#include "store/store_test_support.h"

using namespace zrvstoretest;

namespace {

class RecordingListener final : public IDocumentUpdateListener {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDocumentUpdateListener) return E_NOINTERFACE;
        *object = static_cast<IDocumentUpdateListener*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP DocumentUpdated(BSTR path) override {
        paths.push_back(path ? std::wstring(path, ::SysStringLen(path)) : L"<null>");
        return S_OK;
    }

    ULONG refs = 1;  // lives on the test's stack
    std::vector<std::wstring> paths;
};

zrv::com_ptr<IDocumentProperties> CreateProperties() {
    zrv::com_ptr<IDocumentProperties> properties;
    ::CoCreateInstance(CLSID_DocumentProperties, nullptr, CLSCTX_INPROC_SERVER,
                       IID_IDocumentProperties, properties.put_void());
    return properties;
}

using CanUnloadFn = HRESULT(WINAPI*)();

CanUnloadFn StoreCanUnloadNow() {
    HMODULE module = ::GetModuleHandleW(L"ZRVDocumentStore.dll");
    return module ? reinterpret_cast<CanUnloadFn>(
                        reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")))
                  : nullptr;
}

class DocumentUpdates : public StoreTest {};

TEST_F(DocumentUpdates, ReachEveryAdvisedListenerUntilUnadvised) {
    const std::wstring doc = Document(L"notified.txt");
    RecordingListener first, second;
    DWORD firstCookie = 0, secondCookie = 0;
    {
        zrv::com_ptr<IDocumentProperties> one = CreateProperties(), two = CreateProperties();
        ASSERT_TRUE(one && two);
        zrv::com_ptr<IDocumentUpdateSource> source1, source2;
        ASSERT_EQ(S_OK, one.query(IID_IDocumentUpdateSource, source1));
        ASSERT_EQ(S_OK, two.query(IID_IDocumentUpdateSource, source2));
        ASSERT_EQ(S_OK, source1->Advise(&first, &firstCookie));
        ASSERT_EQ(S_OK, source2->Advise(&second, &secondCookie));
        EXPECT_NE(firstCookie, secondCookie);
        EXPECT_EQ(2u, first.refs);
        DWORD unused = 0;
        EXPECT_EQ(E_POINTER, source1->Advise(nullptr, &unused));
        EXPECT_EQ(E_POINTER, source1->Advise(&first, nullptr));
        EXPECT_EQ(2u, first.refs) << "a refused Advise keeps no reference";
    }
    // Listeners stay advised, and keep the server loaded, after the objects
    // that advised them are gone.
    CanUnloadFn canUnload = StoreCanUnloadNow();
    ASSERT_TRUE(canUnload);
    EXPECT_EQ(S_FALSE, canUnload());

    zrv::com_ptr<IDocumentProperties> properties = CreateProperties();
    EXPECT_EQ(S_OK, RawUpdateDocument(properties.get(), doc.c_str()));
    EXPECT_EQ(std::vector<std::wstring>{doc}, first.paths);
    EXPECT_EQ(std::vector<std::wstring>{doc}, second.paths);
    EXPECT_EQ(E_INVALIDARG, RawUpdateDocument(properties.get(), nullptr));
    EXPECT_EQ(E_INVALIDARG, RawUpdateDocument(properties.get(), L""));
    EXPECT_EQ(1u, first.paths.size());

    zrv::com_ptr<IDocumentUpdateSource> source;
    ASSERT_EQ(S_OK, properties.query(IID_IDocumentUpdateSource, source));
    EXPECT_EQ(S_OK, source->Unadvise(firstCookie));
    EXPECT_EQ(1u, first.refs);
    EXPECT_EQ(CONNECT_E_NOCONNECTION, source->Unadvise(firstCookie));
    EXPECT_EQ(S_OK, RawUpdateDocument(properties.get(), L"C:\\other.txt"));
    EXPECT_EQ(1u, first.paths.size()) << "called after Unadvise";
    EXPECT_EQ((std::vector<std::wstring>{doc, L"C:\\other.txt"}), second.paths);
    EXPECT_EQ(S_OK, source->Unadvise(secondCookie));
    EXPECT_EQ(1u, second.refs);

    source.reset();
    properties.reset();
    EXPECT_EQ(S_OK, canUnload());
}

TEST_F(DocumentUpdates, TheJournalRecordsEveryWriteAndAnnouncement) {
    const std::wstring doc = Document(L"journal.txt");
    {
        RawCatalog catalog;
        ASSERT_EQ(S_OK, catalog.OpenDocument(doc.c_str()));
        catalog.Text(0);  // reads are not recorded
        catalog.Value(17);
        EXPECT_EQ(S_OK, catalog.SetText(0, L"t"));
        EXPECT_EQ(S_OK, catalog.SetUInt(18, 1));
        EXPECT_EQ(DISP_E_TYPEMISMATCH, catalog.SetUInt(17, 1));
        EXPECT_EQ(E_INVALIDARG, catalog.SaveDocument(Document(L"elsewhere.txt").c_str()));
        EXPECT_EQ(S_OK, catalog.SaveDocument(doc.c_str()));
        catalog.CanEditProperty(doc.c_str(), 0);
    }
    zrv::com_ptr<IDocumentProperties> properties = CreateProperties();
    EXPECT_EQ(S_OK, RawUpdateDocument(properties.get(), doc.c_str()));
    EXPECT_EQ(E_INVALIDARG, RawUpdateDocument(properties.get(), nullptr));

    const std::string path = Narrow(doc);
    const std::vector<std::string> expected = {
        "SetStringProperty 0 " + path, "SetProperty 18 " + path,
        "SetProperty 17 " + path,      "SaveDocument " + Narrow(Document(L"elsewhere.txt")),
        "SaveDocument " + path,        "UpdateDocument " + path,
        "UpdateDocument <none>",
    };
    EXPECT_EQ(expected, Lines(zrvtest::ReadFileBytes(m_journalFile)));
    std::string out;
    ASSERT_EQ(0, RunStoreTool(L"journal", out));
    EXPECT_EQ(expected, Lines(out));
    ASSERT_EQ(0, RunStoreTool(L"journal clear", out));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(m_journalFile.c_str()));
}

}  // namespace
