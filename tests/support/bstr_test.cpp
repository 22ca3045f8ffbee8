#include "support/bstr.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "common/cstring_maker.h"
#include "common/no_memory.h"
#include "support/cstring.h"
#include "support/handles.h"

namespace {

std::wstring Text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : L"<null>"; }

CComBSTR Made(const wchar_t* text) {
    CComBSTR made;
    EXPECT_EQ(S_OK, made.Assign(text));
    return made;
}

TEST(CComBSTR, MakesOneBstrPerOwner) {
    EXPECT_EQ(nullptr, CComBSTR().get());
    EXPECT_EQ(nullptr, Made(nullptr).get());

    const CComBSTR empty = Made(L"");
    ASSERT_NE(nullptr, empty.get());
    EXPECT_EQ(0u, empty.Length());

    const CComBSTR text = Made(L"path");
    EXPECT_EQ(L"path", Text(text));

    // From CString: the whole text, and an empty BSTR for the empty string.
    const wchar_t withNul[] = L"a\0b";
    CComBSTR fromCString;
    EXPECT_EQ(S_OK, fromCString.Assign(zrvtest::MakeCString(std::wstring(withNul, 3))));
    EXPECT_EQ(std::wstring(withNul, 3), Text(fromCString));
    CComBSTR fromEmpty;
    EXPECT_EQ(S_OK, fromEmpty.Assign(CString()));
    ASSERT_NE(nullptr, fromEmpty.get());
    EXPECT_EQ(0u, fromEmpty.Length());

    CComBSTR counted;
    EXPECT_EQ(S_OK, counted.Assign(L"path", 2));
    EXPECT_EQ(L"pa", Text(counted));
    // A buffer of NULs, as the page fills it with window texts.
    CComBSTR buffer;
    EXPECT_EQ(S_OK, buffer.Assign(nullptr, 512));
    ASSERT_EQ(512u, buffer.Length());
    EXPECT_EQ(std::wstring(512, L'\0'), Text(buffer));
    EXPECT_EQ(E_INVALIDARG, counted.Assign(L"x", -1));
    EXPECT_EQ(L"pa", Text(counted));

    // Copies are separate BSTRs, embedded NULs included.
    CComBSTR copy;
    EXPECT_EQ(S_OK, copy.Assign(text));
    EXPECT_NE(text.get(), copy.get());
    EXPECT_EQ(L"path", Text(copy));
    CComBSTR nulCopy;
    EXPECT_EQ(S_OK, nulCopy.Assign(fromCString));
    EXPECT_EQ(std::wstring(withNul, 3), Text(nulCopy));
    CComBSTR fresh;
    BSTR copied = nullptr;
    EXPECT_EQ(S_OK, text.CopyTo(&copied));
    fresh.Attach(copied);
    EXPECT_NE(text.get(), fresh.get());
    EXPECT_EQ(L"path", Text(fresh.get()));
    EXPECT_EQ(S_OK, CComBSTR().CopyTo(&copied));
    EXPECT_EQ(nullptr, copied);
    CComBSTR fromNull = Made(L"old");
    EXPECT_EQ(S_OK, fromNull.Assign(CComBSTR()));
    EXPECT_EQ(nullptr, fromNull.get());

    CComBSTR moved(std::move(copy));
    EXPECT_EQ(nullptr, copy.get());
    EXPECT_EQ(L"path", Text(moved));

    EXPECT_EQ(S_OK, moved.Assign(moved.get()));  // assigning its own text
    EXPECT_EQ(L"path", Text(moved));
    EXPECT_EQ(S_OK, moved.Assign(moved));
    EXPECT_EQ(L"path", Text(moved));
}

TEST(CComBSTR, OwnershipTransfer) {
    CComBSTR owner = Made(L"first");
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

// A text that cannot be made is answered, and the owner keeps its own.
TEST(CComBSTR, WithoutMemoryTheOwnerKeepsItsText) {
    CComBSTR owner = Made(L"kept");
    const CComBSTR other = Made(L"other");
    const CString text = zrvtest::MakeCString(L"text");
    HRESULT results[5] = {};
    BSTR copy = reinterpret_cast<BSTR>(1);
    bool failing = false;
    {
        zrvtest::NoMemory noMemory;
        failing = noMemory.ok();
        results[0] = owner.Assign(L"new");
        results[1] = owner.Assign(L"new", 2);
        results[2] = owner.Assign(text);
        results[3] = owner.Assign(other);
        results[4] = other.CopyTo(&copy);
    }
    ASSERT_TRUE(failing);
    for (HRESULT hr : results) EXPECT_EQ(E_OUTOFMEMORY, hr);
    EXPECT_EQ(L"kept", Text(owner));
    EXPECT_EQ(nullptr, copy);
}

}  // namespace
