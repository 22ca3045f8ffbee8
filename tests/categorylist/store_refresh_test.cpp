// A list showing one document's categories, read from the document store
// and kept up to date with the store's announcements.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "categorylist/control_host.h"
#include "common/test_paths.h"
#include "support/handles.h"
#include "support/bstr.h"

using namespace zrvcatlisttest;
using Names = std::vector<std::wstring>;

namespace {

CComBSTR Bstr(const std::wstring& text) {
    CComBSTR made;
    EXPECT_EQ(S_OK, made.Assign(text.data(), static_cast<int>(text.size())));
    return made;
}

// A store file and a document of the test's own.
class CategoryListStore : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folder = zrvtest::MakeScratchFolder(L"catstore");
        ASSERT_FALSE(m_folder.empty());
        m_storeVariable = std::make_unique<ScopedEnvironment>(
            L"ZRV_DOCUMENT_STORE", (m_folder + L"\\documents.store").c_str());
        document = m_folder + L"\\Report.doc";
        ASSERT_TRUE(zrvtest::WriteFileBytes(document, "report"));
    }
    void TearDown() override {
        m_storeVariable.reset();
        zrvtest::RemoveTree(m_folder);
    }

    // Writes the document's categories as the page's arrows do, without
    // announcing the change.
    HRESULT StoreCategories(const std::wstring& path, const std::wstring& text) {
        zrv::com_ptr<IDocumentCatalog> catalog;
        HRESULT hr = ::CoCreateInstance(CLSID_DocumentCatalog, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IDocumentCatalog, catalog.put_void());
        if (FAILED(hr)) return hr;
        auto pathText = Bstr(path);
        auto categories = Bstr(text);
        BSTR value = categories.get();
        if (FAILED(hr = catalog->OpenDocument(pathText.get()))) return hr;
        if (FAILED(hr = catalog->SetStringProperty(3, &value))) return hr;
        return catalog->SaveDocument(pathText.get());
    }

    static HRESULT Announce(const std::wstring& path) {
        zrv::com_ptr<IDocumentProperties> properties;
        const HRESULT hr =
            ::CoCreateInstance(CLSID_DocumentProperties, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IDocumentProperties, properties.put_void());
        if (FAILED(hr)) return hr;
        auto pathText = Bstr(path);
        return properties->UpdateDocument(pathText.get());
    }

    static bool StoreRegistered() {
        zrv::com_ptr<IDocumentCatalog> catalog;
        return SUCCEEDED(::CoCreateInstance(CLSID_DocumentCatalog, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IDocumentCatalog, catalog.put_void()));
    }

    std::wstring document;

  private:
    std::wstring m_folder;
    std::unique_ptr<ScopedEnvironment> m_storeVariable;
};

std::wstring Upper(std::wstring text) {
    ::CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

TEST_F(CategoryListStore, ListShowsTheDocumentsCategoriesAndFollowsAnnouncements) {
    ASSERT_TRUE(Atl().ok());
    HostedControl hosted;
    ASSERT_TRUE(hosted.ok());
    if (!StoreRegistered()) {
        // Without a store the list stays empty and nothing fails.
        EXPECT_EQ(SetDocumentSlot(hosted.list.get(), document.c_str()), S_OK);
        EXPECT_EQ(ListItems(hosted.ListBox()), Names{});
        EXPECT_EQ(WalkSelection(hosted.list.get()), Names{});
        GTEST_SKIP() << "ZRVDocumentStore.dll is not registered";
    }

    ASSERT_EQ(StoreCategories(document, L"Work; Home"), S_OK);
    ASSERT_EQ(SetDocumentSlot(hosted.list.get(), document.c_str()), S_OK);
    EXPECT_EQ(ConfigureSlot(hosted.list.get(), 0), S_OK);
    EXPECT_EQ(ListItems(hosted.ListBox()), (Names{L"Home", L"Work"}));
    SelectItems(hosted.ListBox(), {1});

    // A change is shown once the store announces it for this document,
    // however the announcement spells the path.
    ASSERT_EQ(StoreCategories(document, L"Work; Home; home ;Alpha;"), S_OK);
    ASSERT_EQ(Announce(document + L".other"), S_OK);
    PumpMessages();
    EXPECT_EQ(ListItems(hosted.ListBox()), (Names{L"Home", L"Work"}));
    ASSERT_EQ(Announce(Upper(document)), S_OK);
    PumpMessages();
    EXPECT_EQ(ListItems(hosted.ListBox()), (Names{L"Alpha", L"Home", L"home", L"Work"}));
    EXPECT_EQ(WalkSelection(hosted.list.get()), (Names{L"Work"}));

    // Several announcements before the list gets round to them.
    ASSERT_EQ(StoreCategories(document, L""), S_OK);
    ASSERT_EQ(Announce(document), S_OK);
    ASSERT_EQ(Announce(document), S_OK);
    PumpMessages();
    EXPECT_EQ(ListItems(hosted.ListBox()), Names{});

    // Once the host is gone, announcements reach nothing and nothing of the
    // control stays behind.
    hosted.list.reset();
    hosted.DestroyHost();
    EXPECT_EQ(Announce(document), S_OK);
    PumpMessages();
    EXPECT_EQ(ControlDllCanUnloadNow(), S_OK);
}

TEST_F(CategoryListStore, DocumentsTheStoreCannotReadListNothing) {
    ASSERT_TRUE(Atl().ok());
    if (!StoreRegistered()) GTEST_SKIP() << "ZRVDocumentStore.dll is not registered";
    HostedControl hosted;
    ASSERT_TRUE(hosted.ok());

    // Never stored, and stored with separators only.
    EXPECT_EQ(SetDocumentSlot(hosted.list.get(), document.c_str()), S_OK);
    EXPECT_EQ(ListItems(hosted.ListBox()), Names{});
    ASSERT_EQ(StoreCategories(document, L" ; ;"), S_OK);
    EXPECT_EQ(SetDocumentSlot(hosted.list.get(), document.c_str()), S_OK);
    EXPECT_EQ(ListItems(hosted.ListBox()), Names{});

    // Switching the same control back to the catalogue stops following the
    // document.
    const std::wstring folder = zrvtest::MakeScratchFolder(L"catstore-catalogue");
    const std::wstring catalogue = folder + L"\\categories.txt";
    ASSERT_TRUE(zrvtest::WriteFileBytes(catalogue, "Business\r\n"));
    {
        ScopedEnvironment variable(L"ZRV_CATEGORY_CATALOG", catalogue.c_str());
        EXPECT_EQ(SetDocumentSlot(hosted.list.get(), nullptr), S_OK);
        ASSERT_EQ(StoreCategories(document, L"Work"), S_OK);
        ASSERT_EQ(Announce(document), S_OK);
        PumpMessages();
        EXPECT_EQ(ListItems(hosted.ListBox()), (Names{L"Business"}));
    }
    zrvtest::RemoveTree(folder);
}
