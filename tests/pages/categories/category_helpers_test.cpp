// The page's small helpers: the lowercase extension that the type test looks
// for, and gathering a list's selection without taking its enumerator over.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "pages/categories/category_selection.h"
#include "pages/categories/file_extension.h"

namespace {

std::wstring Extension(const wchar_t* path) {
    CString extension;
    if (FAILED(GetLowerExtension(path, extension))) return L"<failed>";
    return std::wstring(extension.GetString(), extension.GetLength());
}

CategorySelection Gathered(ICategoryEnum* selection) {
    CategorySelection items;
    EXPECT_EQ(S_OK, GatherSelection(selection, items));
    return items;
}

std::wstring Name(const CategoryItem& item) {
    CString name;
    if (FAILED(CategoryItemName(item, name))) return L"<failed>";
    return std::wstring(name.GetString(), name.GetLength());
}

TEST(LowerExtension, IsWhatFollowsTheLastDotOfTheFileName) {
    EXPECT_EQ(L"doc", Extension(L"C:\\Reports\\Report.DOC"));
    EXPECT_EQ(L"gz", Extension(L"C:\\backup.tar.GZ"));
    EXPECT_EQ(L"txt", Extension(L"  C:\\notes.Txt \t"));
    EXPECT_EQ(L"hidden", Extension(L"C:\\x\\.hidden"));
    EXPECT_EQ(L"doc", Extension(L"c:/mixed/way.Doc"));
    // No dot after the last separator: no extension, even with dots before.
    EXPECT_EQ(L"", Extension(L"C:\\Reports\\README"));
    EXPECT_EQ(L"", Extension(L"C:\\a.b\\file"));
    EXPECT_EQ(L"", Extension(L"C:/a.b/file"));
    EXPECT_EQ(L"", Extension(L"C:\\trailing."));
    EXPECT_EQ(L"", Extension(L".profile")) << "a dot in the first place is not looked at";
    EXPECT_EQ(L"", Extension(L""));
    EXPECT_EQ(L"", Extension(nullptr));
    EXPECT_EQ(L"\u00C9t\u00C9", Extension(L"x.\u00C9t\u00C9"))
        << "in the C locale only A to Z are lowered";
}

// An enumerator that hands out fixed records and counts what is done to it.
class FakeEnum final : public ICategoryEnum {
  public:
    explicit FakeEnum(std::vector<std::wstring> names) : m_names(std::move(names)) {}

    STDMETHODIMP QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++addRefs; }
    STDMETHODIMP_(ULONG) Release() override { return ++releases; }
    STDMETHODIMP Reset() override {
        ++resets;
        m_next = 0;
        return S_OK;
    }
    STDMETHODIMP Next(ULONG count, CategoryItem* item, ULONG* fetched) override {
        EXPECT_EQ(1u, count);
        if (m_next >= m_names.size()) return S_FALSE;
        const std::wstring& name = m_names[m_next++];
        if (name == L"<untouched>") return S_OK;  // answers without writing
        std::memset(item, 0, sizeof(*item));
        name.copy(item->name, ARRAYSIZE(item->name));
        item->id = static_cast<DWORD>(m_next);
        if (fetched) *fetched = 1;
        return S_OK;
    }

    ULONG addRefs = 0;
    ULONG releases = 0;
    int resets = 0;

  private:
    std::vector<std::wstring> m_names;
    size_t m_next = SIZE_MAX;  // a walk that did not Reset finds nothing
};

TEST(GatherSelection, CopiesEveryRecordInOrderAndLeavesTheEnumeratorAlone) {
    FakeEnum selection({L"Work", L"Home", L"Work", L"<untouched>"});
    const CategorySelection items = Gathered(&selection);
    ASSERT_EQ(4u, items.size());
    EXPECT_EQ(L"Work", Name(items[0]));
    EXPECT_EQ(L"Home", Name(items[1]));
    EXPECT_EQ(L"Work", Name(items[2])) << "duplicates are kept";
    EXPECT_EQ(3u, items[2].id) << "the whole record is copied";
    EXPECT_EQ(0, std::memcmp(&items[2], &items[3], sizeof(CategoryItem)))
        << "a record the control left untouched repeats the buffer";
    EXPECT_EQ(1, selection.resets);
    EXPECT_EQ(0u, selection.addRefs);
    EXPECT_EQ(0u, selection.releases) << "the list owns its enumerator";

    FakeEnum nothing({});
    EXPECT_TRUE(Gathered(&nothing).empty());
    EXPECT_TRUE(Gathered(nullptr).empty());
}

TEST(GatherSelection, NameWithoutTerminatorStopsAtTheEndOfItsField) {
    CategoryItem item;
    std::memset(&item, 0, sizeof(item));
    for (wchar_t& c : item.name) c = L'n';
    for (wchar_t& c : item.description) c = L'd';
    const std::wstring name = Name(item);
    EXPECT_EQ(ARRAYSIZE(item.name), name.size());
    EXPECT_EQ(std::wstring::npos, name.find(L'd'));
}

}  // namespace
