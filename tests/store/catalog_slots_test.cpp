// DocumentCatalog as the pages reach it: every operation through its raw
// vtable slot, on a private store.

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include "common/process_counts.h"
#include "common/registry_reader.h"
#include "common/test_paths.h"
#include "store/core/document_record.h"
#include "store/core/store_format.h"
#include "store/store_test_support.h"

using namespace zrvstoretest;

namespace {

class CatalogSlots : public StoreTest {};

TEST_F(CatalogSlots, SavedPropertiesReadBackInAnotherObject) {
    const std::wstring doc = Document(L"Report.txt");
    {
        RawCatalog catalog;
        ASSERT_TRUE(catalog.ok());
        ASSERT_EQ(S_OK, catalog.OpenDocument(doc.c_str()));
        const wchar_t* texts[] = {L"Title", L"Subject", L"Author", L"Red;Blue", L"Comments"};
        for (int id = 0; id < 5; ++id) EXPECT_EQ(S_OK, catalog.SetText(id, texts[id]));
        EXPECT_EQ(S_OK, catalog.SetFileTime(0x01D94BD0C4224000ull));
        EXPECT_EQ(S_OK, catalog.SetUInt(18, 2));
        EXPECT_EQ(S_OK, catalog.SetUInt(19, 1));
        // The object answers with its unsaved changes...
        EXPECT_EQ(L"Author", catalog.Text(2));
        EXPECT_EQ(2u, catalog.Value(18));
        {
            RawCatalog other;
            ASSERT_EQ(S_OK, other.OpenDocument(doc.c_str()));
            EXPECT_EQ(L"<null>", other.Text(2)) << "nothing is stored before SaveDocument";
        }
        EXPECT_EQ(S_OK, catalog.SaveDocument(doc.c_str()));
    }
    RawCatalog catalog;
    ASSERT_EQ(S_OK, catalog.OpenDocument(doc.c_str()));
    EXPECT_EQ(L"Title", catalog.Text(0));
    EXPECT_EQ(L"Subject", catalog.Text(1));
    EXPECT_EQ(L"Author", catalog.Text(2));
    EXPECT_EQ(L"Red;Blue", catalog.Text(3));
    EXPECT_EQ(L"Comments", catalog.Text(4));
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(0x01D94BD0C4224000ull, catalog.Value(17, &vt));
    EXPECT_EQ(VT_FILETIME, vt);
    EXPECT_EQ(2u, catalog.Value(18, &vt));
    EXPECT_EQ(VT_UI4, vt);
    EXPECT_EQ(1u, catalog.Value(19, &vt));
    EXPECT_EQ(VT_UI4, vt);
    EXPECT_EQ(1, catalog.CanEditProperty(doc.c_str(), 0));
    EXPECT_EQ(1, catalog.CanEditProperty(doc.c_str(), 17));

    // Nobody calls the placeholders, but they must answer rather than crash.
    for (int slot : {7, 9, 10, 11, 17, 18, 19, 20})
        EXPECT_EQ(E_NOTIMPL, catalog.Reserved(slot)) << "slot " << slot;
    zrv::com_ptr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, catalog.get()->QueryInterface(IID_IDispatch, dispatch.put_void()));
    EXPECT_EQ(static_cast<void*>(catalog.get()), static_cast<void*>(dispatch.get()));
    UINT count = 7;
    EXPECT_EQ(E_NOTIMPL, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);
}

TEST_F(CatalogSlots, UnsetValuesAndBadCalls) {
    const std::wstring doc = Document(L"new.txt");
    RawCatalog catalog;
    ASSERT_TRUE(catalog.ok());

    // Before any OpenDocument.
    EXPECT_EQ(L"<failed 0x8000FFFF>", catalog.Text(0));
    EXPECT_EQ(E_UNEXPECTED, catalog.SetText(0, L"x"));
    EXPECT_EQ(E_UNEXPECTED, catalog.SetUInt(18, 1));
    EXPECT_EQ(E_UNEXPECTED, catalog.SaveDocument(doc.c_str()));
    EXPECT_EQ(E_INVALIDARG, catalog.OpenDocument(nullptr));
    EXPECT_EQ(E_INVALIDARG, catalog.OpenDocument(L""));

    // A document the store has never seen reads as empty, in the types the
    // pages expect even though they read the data without looking at them.
    ASSERT_EQ(S_OK, catalog.OpenDocument(doc.c_str()));
    for (int id = 0; id < 5; ++id) EXPECT_EQ(L"<null>", catalog.Text(id)) << "id " << id;
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(0u, catalog.Value(17, &vt));
    EXPECT_EQ(VT_FILETIME, vt);
    EXPECT_EQ(0u, catalog.Value(18, &vt));
    EXPECT_EQ(VT_UI4, vt);

    EXPECT_EQ(E_POINTER, catalog.GetStringProperty(0, nullptr));
    EXPECT_EQ(E_POINTER, catalog.SetStringProperty(0, nullptr));
    EXPECT_EQ(E_POINTER, catalog.GetProperty(17, nullptr));
    EXPECT_EQ(E_POINTER, catalog.SetProperty(17, nullptr));
    for (int id : {-1, 5, 16, 20, 1000}) {
        EXPECT_EQ(L"<failed 0x80070057>", catalog.Text(id)) << "id " << id;
        EXPECT_EQ(E_INVALIDARG, catalog.SetText(id, L"x")) << "id " << id;
        EXPECT_EQ(~0ull, catalog.Value(id)) << "id " << id;
        EXPECT_EQ(E_INVALIDARG, catalog.SetUInt(id, 1)) << "id " << id;
        EXPECT_EQ(0, catalog.CanEditProperty(doc.c_str(), id)) << "id " << id;
    }
    EXPECT_EQ(~0ull, catalog.Value(0)) << "texts are not values";
    EXPECT_EQ(L"<failed 0x80070057>", catalog.Text(17)) << "values are not texts";

    // Value types: 17 only as a FILETIME; 18 and 19 as unsigned numbers.
    EXPECT_EQ(DISP_E_TYPEMISMATCH, catalog.SetUInt(17, 5));
    PROPVARIANT v;
    ::PropVariantInit(&v);
    v.vt = VT_I4;
    v.lVal = -1;
    EXPECT_EQ(E_INVALIDARG, catalog.SetProperty(18, &v));
    v.lVal = 2;
    EXPECT_EQ(S_OK, catalog.SetProperty(18, &v));
    v.vt = VT_LPWSTR;
    v.pwszVal = const_cast<wchar_t*>(L"1");
    EXPECT_EQ(DISP_E_TYPEMISMATCH, catalog.SetProperty(19, &v));
    EXPECT_EQ(2u, catalog.Value(18));
    EXPECT_EQ(0u, catalog.Value(19));

    // SaveDocument commits only the open document.
    EXPECT_EQ(E_INVALIDARG, catalog.SaveDocument(Document(L"other.txt").c_str()));
    EXPECT_EQ(E_INVALIDARG, catalog.SaveDocument(nullptr));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(m_storeFile.c_str()));
    EXPECT_EQ(S_OK, catalog.SaveDocument(doc.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(m_storeFile.c_str()));

    // CanEditProperty without an open document or with a bad path.
    RawCatalog fresh;
    EXPECT_EQ(1, fresh.CanEditProperty(doc.c_str(), 19));
    EXPECT_EQ(0, fresh.CanEditProperty(nullptr, 0));
    EXPECT_EQ(0, fresh.CanEditProperty(L"", 0));
}

TEST_F(CatalogSlots, TextsEndAtTheFirstNulAndLimitsHold) {
    const std::wstring doc = Document(L"texts.txt");
    RawCatalog catalog;
    ASSERT_EQ(S_OK, catalog.OpenDocument(doc.c_str()));

    // The Categories page hands in its 512-character edit buffer.
    BSTR buffer = ::SysAllocStringLen(nullptr, 512);
    ::ZeroMemory(buffer, 512 * sizeof(wchar_t));
    ::lstrcpyW(buffer, L"abc");
    buffer[100] = L'z';  // left over from a longer text
    EXPECT_EQ(S_OK, catalog.SetStringProperty(0, &buffer));
    ::SysFreeString(buffer);
    // A null BSTR is the empty text: set, but empty.
    BSTR none = nullptr;
    EXPECT_EQ(S_OK, catalog.SetStringProperty(1, &none));
    const std::wstring longest(zrvstore::kMaxTextChars, L'L');
    EXPECT_EQ(S_OK, catalog.SetText(4, longest.c_str()));
    EXPECT_EQ(S_OK, catalog.SaveDocument(doc.c_str()));

    RawCatalog reader;
    ASSERT_EQ(S_OK, reader.OpenDocument(doc.c_str()));
    EXPECT_EQ(L"abc", reader.Text(0));
    EXPECT_EQ(L"", reader.Text(1));
    EXPECT_EQ(longest, reader.Text(4));

    const std::wstring tooLong(zrvstore::kMaxTextChars + 1, L'L');
    EXPECT_EQ(E_INVALIDARG, reader.SetText(4, tooLong.c_str()));
    EXPECT_EQ(S_OK, reader.SaveDocument(doc.c_str()));
    EXPECT_EQ(longest, reader.Text(4)) << "a refused text leaves the stored one";

    const std::wstring longPath = m_folder + L"\\" + std::wstring(zrvstore::kMaxPathChars, L'p');
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE),
              reader.OpenDocument(longPath.c_str()));
    EXPECT_EQ(L"<failed 0x800700CE>", reader.Text(0)) << "no document after a failed open";
    EXPECT_EQ(0, reader.CanEditProperty(longPath.c_str(), 0));
}

TEST_F(CatalogSlots, PathsMatchWithoutCaseAndKeepTheirFirstSpelling) {
    ASSERT_TRUE(::CreateDirectoryW(Document(L"sub").c_str(), nullptr));
    {
        RawCatalog catalog;
        ASSERT_EQ(S_OK, catalog.OpenDocument(Document(L"Mixed Case.TXT").c_str()));
        EXPECT_EQ(S_OK, catalog.SetText(0, L"first"));
        EXPECT_EQ(S_OK, catalog.SaveDocument(Document(L"mixed case.txt").c_str()));
    }
    {
        RawCatalog catalog;
        const std::wstring other = Document(L"sub\\..\\MIXED CASE.txt");
        ASSERT_EQ(S_OK, catalog.OpenDocument(other.c_str()));
        EXPECT_EQ(L"first", catalog.Text(0));
        EXPECT_EQ(S_OK, catalog.SetText(1, L"second"));
        EXPECT_EQ(S_OK, catalog.SaveDocument(other.c_str()));
    }
    std::string listing;
    ASSERT_EQ(0, RunStoreTool(L"list", listing)) << listing;
    EXPECT_EQ(std::vector<std::string>{Narrow(Document(L"Mixed Case.TXT"))}, Lines(listing));
}

TEST_F(CatalogSlots, ReadOnlyDocumentsRefuseChanges) {
    const std::wstring locked = Document(L"locked.txt");
    const std::wstring open = Document(L"open.txt");
    std::string out;
    ASSERT_EQ(0, RunStoreTool(L"set \"" + locked + L"\" title Kept", out)) << out;
    ASSERT_EQ(0, RunStoreTool(L"readonly \"" + locked + L"\" on", out)) << out;

    RawCatalog catalog;
    for (int id : {0, 1, 2, 3, 4, 17, 18, 19}) {
        EXPECT_EQ(0, catalog.CanEditProperty(locked.c_str(), id)) << "id " << id;
        EXPECT_EQ(1, catalog.CanEditProperty(open.c_str(), id)) << "id " << id;
    }
    ASSERT_EQ(S_OK, catalog.OpenDocument(locked.c_str()));
    EXPECT_EQ(L"Kept", catalog.Text(0));
    EXPECT_EQ(S_OK, catalog.SetText(0, L"Changed"));
    EXPECT_EQ(E_ACCESSDENIED, catalog.SaveDocument(locked.c_str()));
    RawCatalog reader;
    ASSERT_EQ(S_OK, reader.OpenDocument(locked.c_str()));
    EXPECT_EQ(L"Kept", reader.Text(0));

    ASSERT_EQ(0, RunStoreTool(L"readonly \"" + locked + L"\" off", out)) << out;
    EXPECT_EQ(1, catalog.CanEditProperty(locked.c_str(), 0));
    EXPECT_EQ(S_OK, catalog.SaveDocument(locked.c_str())) << "the unsaved change was kept";
    EXPECT_EQ(L"Changed", reader.Text(0));
}

// Run apart, without the heap checked at every allocation: each call reads
// all 65,536 records, and a check of the whole heap at each of their
// allocations took minutes. The heaps are checked once at the end instead.
TEST_F(CatalogSlots, AFullStoreRefusesNewDocumentsOnly) {
    std::vector<zrvstore::DocumentRecord> documents(zrvstore::kMaxDocuments);
    for (size_t i = 0; i < documents.size(); ++i)
        documents[i].path = Document(L"d" + std::to_wstring(i));
    std::string bytes;
    ASSERT_EQ(S_OK, zrvstore::SerializeStore(documents, bytes));
    ASSERT_TRUE(zrvtest::WriteFileBytes(m_storeFile, bytes));

    RawCatalog catalog;
    ASSERT_EQ(S_OK, catalog.OpenDocument(Document(L"one too many").c_str()));
    EXPECT_EQ(S_OK, catalog.SetText(0, L"x"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE),
              catalog.SaveDocument(Document(L"one too many").c_str()));
    ASSERT_EQ(S_OK, catalog.OpenDocument(Document(L"d65535").c_str()));
    EXPECT_EQ(S_OK, catalog.SetText(0, L"last"));
    EXPECT_EQ(S_OK, catalog.SaveDocument(Document(L"d65535").c_str()));
    EXPECT_EQ(L"last", catalog.Text(0));
    EXPECT_TRUE(zrvtest::AllHeapsValid());
}

TEST(StoreRegistration, BothClassesAreApartmentInprocServers) {
    for (const wchar_t* clsid :
         {L"{A9321D79-724B-4E77-9861-BE37A381CC72}", L"{3CBB0610-EE3D-4FDA-ABA1-B98C8B61DB3E}"}) {
        const std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
        const std::wstring server = zrvtest::ReadString(HKEY_CLASSES_ROOT, key).value_or(L"<none>");
        EXPECT_EQ(0, lstrcmpiW(ProgramPath(L"ZRVDocumentStore.dll").c_str(), server.c_str()))
            << Narrow(server);
        EXPECT_EQ(L"Apartment",
                  zrvtest::ReadString(HKEY_CLASSES_ROOT, key, L"ThreadingModel").value_or(L""));
    }
}

}  // namespace
