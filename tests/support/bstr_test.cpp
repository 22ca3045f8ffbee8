#include "support/bstr.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/cstring.h"
#include "support/exceptions.h"
#include "support/handles.h"

namespace {

std::wstring Text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : L"<null>"; }

TEST(CComBSTR, MakesOneBstrPerOwner) {
    EXPECT_EQ(nullptr, CComBSTR().get());
    EXPECT_EQ(nullptr, CComBSTR(static_cast<const wchar_t*>(nullptr)).get());

    const CComBSTR empty(L"");
    ASSERT_NE(nullptr, empty.get());
    EXPECT_EQ(0u, empty.Length());

    const CComBSTR text(L"path");
    EXPECT_EQ(L"path", Text(text));

    // From CString: the whole text, and an empty BSTR for the empty string.
    const wchar_t withNul[] = L"a\0b";
    EXPECT_EQ(std::wstring(withNul, 3), Text(CComBSTR(CString(withNul, 3))));
    const CComBSTR fromEmpty{CString()};
    ASSERT_NE(nullptr, fromEmpty.get());
    EXPECT_EQ(0u, fromEmpty.Length());

    EXPECT_EQ(L"pa", Text(CComBSTR(2, L"path")));
    // A buffer of NULs, as the page fills it with window texts.
    const CComBSTR buffer(512);
    ASSERT_EQ(512u, buffer.Length());
    EXPECT_EQ(std::wstring(512, L'\0'), Text(buffer));
    try {
        CComBSTR bad(-1, L"x");
        FAIL() << "negative length accepted";
    } catch (const CAtlException& e) {
        EXPECT_EQ(E_INVALIDARG, e.m_hr);
    }

    // Copies are separate BSTRs.
    CComBSTR copy(text);
    EXPECT_NE(text.get(), copy.get());
    EXPECT_EQ(L"path", Text(copy));
    CComBSTR fresh;
    fresh.Attach(text.Copy());
    EXPECT_NE(text.get(), fresh.get());
    EXPECT_EQ(L"path", Text(fresh.get()));
    EXPECT_EQ(nullptr, CComBSTR().Copy());

    CComBSTR moved(std::move(copy));
    EXPECT_EQ(nullptr, copy.get());
    EXPECT_EQ(L"path", Text(moved));

    moved = moved.get();  // assigning its own text
    EXPECT_EQ(L"path", Text(moved));
}

TEST(CComBSTR, OwnershipTransfer) {
    CComBSTR owner(L"first");
    BSTR taken = owner.Detach();
    EXPECT_EQ(nullptr, owner.get());
    owner.Attach(taken);
    EXPECT_EQ(taken, owner.get());
    owner.Attach(SysAllocString(L"second"));
    EXPECT_EQ(L"second", Text(owner));

    // An out parameter always starts null.
    BSTR* out = owner.put();
    EXPECT_EQ(nullptr, *out);
    *out = SysAllocString(L"from callee");
    EXPECT_EQ(L"from callee", Text(owner));
    owner.Empty();
    EXPECT_TRUE(!owner);
    EXPECT_EQ(0u, owner.Length());
}

}  // namespace
