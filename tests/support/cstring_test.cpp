#include "support/cstring.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>

#include "support/exceptions.h"
#include "support/module_instance.h"
#include "support/support_test_resource.h"

namespace {

// What the long string-table entries hold: a, b, c, ... z repeated.
std::wstring PatternText(int length) {
    std::wstring text;
    for (int i = 0; i < length; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
    return text;
}

std::wstring Text(const CString& s) { return std::wstring(s.GetString(), s.GetLength()); }

// Runs `action` and answers the HRESULT of the CAtlException it raised, or
// S_OK when it raised nothing.
template <typename F>
HRESULT RaisedBy(F action) {
    try {
        action();
    } catch (const CAtlException& e) {
        return e.m_hr;
    }
    return S_OK;
}

TEST(CString, CopiesShareOneBufferUntilOneIsWritten) {
    const CString original(L"shared text");
    CString copy = original;
    CString assigned;
    assigned = copy;
    EXPECT_EQ(original.BufferId(), copy.BufferId());
    EXPECT_EQ(original.BufferId(), assigned.BufferId());

    copy += L"!";
    EXPECT_NE(original.BufferId(), copy.BufferId());
    EXPECT_EQ(L"shared text!", Text(copy));
    EXPECT_EQ(L"shared text", Text(original));

    // Writing through GetBuffer is a write too.
    CString viaBuffer = original;
    wchar_t* buffer = viaBuffer.GetBuffer();
    EXPECT_NE(original.BufferId(), viaBuffer.BufferId());
    buffer[0] = L'X';
    viaBuffer.ReleaseBuffer();
    EXPECT_EQ(L"Xhared text", Text(viaBuffer));
    EXPECT_EQ(L"shared text", Text(original));

    // Trimming or searching that changes nothing keeps the buffer shared.
    CString trimmed = original;
    trimmed.Trim();
    EXPECT_EQ(original.BufferId(), trimmed.BufferId());
    EXPECT_EQ(original.BufferId(), original.Mid(0).BufferId());

    // A moved-from string is empty; the target took the buffer as it was.
    CString source = original;
    CString target = std::move(source);
    EXPECT_EQ(original.BufferId(), target.BufferId());
    EXPECT_TRUE(source.IsEmpty());
}

TEST(CString, AllEmptyStringsShareOneBuffer) {
    const void* empty = CString().BufferId();

    const CString fromNull(static_cast<const wchar_t*>(nullptr));
    const CString fromEmptyText(L"");
    CString emptied(L"something");
    emptied.Empty();
    CString assignedNull(L"something");
    assignedNull = static_cast<const wchar_t*>(nullptr);
    CString released(L"something");
    released.GetBuffer(40);
    released.ReleaseBuffer(0);
    CString blank(L" \t\r\n ");
    blank.Trim();
    CString formatted;
    formatted.Format(L"%s", L"");

    EXPECT_EQ(empty, fromNull.BufferId());
    EXPECT_EQ(empty, fromEmptyText.BufferId());
    EXPECT_EQ(empty, emptied.BufferId());
    EXPECT_EQ(empty, assignedNull.BufferId());
    EXPECT_EQ(empty, released.BufferId());
    EXPECT_EQ(empty, blank.BufferId());
    EXPECT_EQ(empty, formatted.BufferId());
    EXPECT_EQ(empty, CString(L"abc").Mid(5).BufferId());

    const CString* const samples[] = {&fromNull, &emptied, &blank};
    for (const CString* s : samples) {
        EXPECT_TRUE(s->IsEmpty());
        EXPECT_EQ(0, s->GetLength());
        EXPECT_STREQ(L"", s->GetString());
    }
    EXPECT_NE(empty, CString(L"x").BufferId());
}

TEST(CString, TextPointersAreCopiedUpToTheFirstNul) {
    const wchar_t withNul[] = L"ab\0cd";
    CString s(withNul);
    EXPECT_EQ(2, s.GetLength());
    s = L"longer text first";
    s = withNul;
    EXPECT_EQ(L"ab", Text(s));

    // With an explicit length the NUL is part of the text.
    const CString counted(withNul, 5);
    EXPECT_EQ(5, counted.GetLength());
    EXPECT_EQ(std::wstring(withNul, 5), Text(counted));
    EXPECT_NE(counted, s);

    // The source may lie inside the target's own buffer, shared or not.
    CString self(L"hello world");
    self = self.GetString() + 6;
    EXPECT_EQ(L"world", Text(self));
    CString sharedSelf(L"hello world");
    const CString keeper = sharedSelf;
    sharedSelf = sharedSelf.GetString() + 6;
    EXPECT_EQ(L"world", Text(sharedSelf));
    EXPECT_EQ(L"hello world", Text(keeper));

    EXPECT_EQ(E_INVALIDARG, RaisedBy([] { CString bad(nullptr, 3); }));
    EXPECT_EQ(E_INVALIDARG, RaisedBy([] { CString bad(L"abc", -1); }));
}

TEST(CString, AppendingAndConcatenation) {
    CString s(L"ab");
    s += L"cd";
    s += L'e';
    s += CString(L"fg");
    s += static_cast<const wchar_t*>(nullptr);
    EXPECT_EQ(L"abcdefg", Text(s));

    s += s;  // reads from the buffer it grows
    EXPECT_EQ(L"abcdefgabcdefg", Text(s));
    s += s.GetString() + 7;
    EXPECT_EQ(L"abcdefgabcdefgabcdefg", Text(s));

    EXPECT_EQ(L"xy", Text(CString(L"x") + CString(L"y")));
    EXPECT_EQ(L"xy", Text(CString(L"x") + L"y"));
    EXPECT_EQ(L"xy", Text(L"x" + CString(L"y")));
    EXPECT_EQ(L"xy", Text(CString(L"x") + L'y'));

    // Appending to an empty string shares the appended one.
    CString empty;
    const CString tail(L"tail");
    empty += tail;
    EXPECT_EQ(tail.BufferId(), empty.BufferId());

    CString grown;
    std::wstring expected;
    for (int i = 0; i < 5000; ++i) {
        const wchar_t ch = static_cast<wchar_t>(L'a' + i % 26);
        grown += ch;
        expected += ch;
    }
    EXPECT_EQ(expected, Text(grown));
}

// A walk builds path + "\\" + name at every level from strings that share
// their buffers; the buffers must follow the lengths, not compound.
TEST(CString, CapacityFollowsLengthThroughConcatenation) {
    CString path(L"C:\\base");
    const CString separator(L"\\");
    const CString name(L"folder");
    for (int level = 0; level < 200; ++level) {
        const CString keep = path;  // the caller's copy, still shared
        path = keep + separator + name;
        ASSERT_LE(path.GetAllocLength(), 2 * path.GetLength()) << "level " << level;
    }
    EXPECT_EQ(7 + 200 * 7, path.GetLength());

    // Appending to a copy, and to a string that owns its buffer.
    CString grown(L"start");
    for (int i = 0; i < 200; ++i) {
        CString copy = grown;
        copy += L"x";
        grown = copy;
        grown += name;
    }
    EXPECT_LE(grown.GetAllocLength(), 2 * grown.GetLength());
}

TEST(CString, ComparesByCodeUnit) {
    EXPECT_TRUE(CString(L"abc") == L"abc");
    EXPECT_TRUE(L"abc" == CString(L"abc"));
    EXPECT_TRUE(CString(L"abc") != CString(L"abd"));
    EXPECT_TRUE(CString(L"abc") != L"ab");
    EXPECT_TRUE(CString(L"ab") < CString(L"abc"));
    EXPECT_TRUE(CString(L"Z") < L"a");            // not case-folded
    EXPECT_TRUE(CString(L"z") < L"\u00e9");       // not by locale collation
    EXPECT_TRUE(L"\u00e9" < CString(L"\uff01"));  // code units compare unsigned
    EXPECT_FALSE(CString(L"b") < CString(L"a"));
    EXPECT_FALSE(CString(L"a") < CString(L"a"));

    // A null pointer compares as the empty string.
    EXPECT_TRUE(CString() == static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(static_cast<const wchar_t*>(nullptr) < CString(L"a"));
}

TEST(CString, TrimFindAndSubstrings) {
    CString both(L" \t a b \r\n");
    EXPECT_EQ(L"a b", Text(both.Trim()));
    CString left(L"  x");
    EXPECT_EQ(L"x", Text(left.Trim()));
    CString right(L"x  ");
    EXPECT_EQ(L"x", Text(right.Trim()));
    CString blank(L" \t ");
    EXPECT_EQ(L"", Text(blank.Trim()));

    const CString s(L"abcabc");
    EXPECT_EQ(1, s.Find(L'b'));
    EXPECT_EQ(4, s.Find(L'b', 2));
    EXPECT_EQ(-1, s.Find(L'z'));
    EXPECT_EQ(-1, s.Find(L'a', 6));
    EXPECT_EQ(0, s.Find(L'a', -5));
    EXPECT_EQ(-1, CString().Find(L'a'));

    EXPECT_EQ(L"cabc", Text(s.Mid(2)));
    EXPECT_EQ(L"ca", Text(s.Mid(2, 2)));
    EXPECT_EQ(L"bc", Text(s.Mid(4, 99)));
    EXPECT_EQ(L"ab", Text(s.Mid(-3, 2)));
    EXPECT_EQ(L"", Text(s.Mid(6)));
    EXPECT_EQ(L"", Text(s.Mid(2, -1)));
    EXPECT_EQ(L"c", Text(s.Mid(5, INT_MAX)));
}

TEST(CString, CharacterAccessIsRangeChecked) {
    CString s(L"abc");
    EXPECT_EQ(L'a', s[0]);
    EXPECT_EQ(L'c', s.GetAt(2));
    EXPECT_EQ(L'\0', s[3]);  // the terminator may be read
    EXPECT_EQ(L'b', s[size_t{1}]);
    EXPECT_EQ(E_INVALIDARG, RaisedBy([&] { s.GetAt(4); }));
    EXPECT_EQ(E_INVALIDARG, RaisedBy([&] { s[-1]; }));
    EXPECT_EQ(E_INVALIDARG, RaisedBy([&] { s[size_t{0x80000000u}]; }));
}

TEST(CString, BufferAccess) {
    CString s;
    wchar_t* buffer = s.GetBuffer(10);
    wcscpy(buffer, L"0123456789");
    s.ReleaseBuffer();
    EXPECT_EQ(L"0123456789", Text(s));

    s.GetBuffer();
    s.ReleaseBuffer(4);
    EXPECT_EQ(L"0123", Text(s));

    // GetBuffer keeps the text when it grows the buffer.
    buffer = s.GetBuffer(300);
    EXPECT_STREQ(L"0123", buffer);
    buffer[4] = L'4';
    buffer[5] = L'\0';
    s.ReleaseBuffer();
    EXPECT_EQ(L"01234", Text(s));

    buffer = s.GetBufferSetLength(3);
    EXPECT_EQ(3, s.GetLength());
    EXPECT_STREQ(L"012", buffer);
    s.ReleaseBuffer();

    s.GetBuffer(8);
    EXPECT_EQ(E_INVALIDARG, RaisedBy([&] { s.ReleaseBuffer(100000); }));
    EXPECT_EQ(E_INVALIDARG, RaisedBy([&] { s.GetBuffer(-1); }));

    // A request no allocation can meet leaves the string as it was.
    CString kept(L"kept");
    EXPECT_EQ(E_OUTOFMEMORY, RaisedBy([&] { kept.GetBuffer(INT_MAX); }));
    EXPECT_EQ(E_OUTOFMEMORY, RaisedBy([&] { kept.GetBuffer(0x3ffffff0); }));
    EXPECT_EQ(L"kept", Text(kept));
}

TEST(CStringLoadString, LoadsEntriesOfAnyLength) {
    // In a program that links the code itself, the program is the module.
    EXPECT_EQ(GetModuleHandleW(nullptr), zrv::ResourceInstance());

    CString s;
    EXPECT_TRUE(s.LoadString(IDS_TEST_SHORT));
    EXPECT_EQ(L"Hello, table", Text(s));

    // Lengths on both sides of the 256-character read steps.
    for (const auto& entry :
         {std::make_pair(IDS_TEST_LEN255, 255), std::make_pair(IDS_TEST_LEN256, 256),
          std::make_pair(IDS_TEST_LEN700, 700), std::make_pair(IDS_TEST_LEN1000, 1000)}) {
        CString loaded(L"previous");
        EXPECT_TRUE(loaded.LoadString(entry.first)) << entry.first;
        EXPECT_EQ(entry.second, loaded.GetLength()) << entry.first;
        EXPECT_EQ(PatternText(entry.second), Text(loaded)) << entry.first;
    }

    CString localized;
    EXPECT_TRUE(localized.LoadLocalizedString(IDS_TEST_SHORT));
    EXPECT_EQ(L"Hello, table", Text(localized));
}

TEST(CStringLoadString, MissingEntriesGiveTheEmptyString) {
    CString s(L"previous");
    EXPECT_FALSE(s.LoadString(IDS_TEST_MISSING));
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(CString().BufferId(), s.BufferId());

    CString localized(L"previous");
    EXPECT_FALSE(localized.LoadLocalizedString(IDS_TEST_MISSING));
    EXPECT_TRUE(localized.IsEmpty());

    // Another resource module: its table lacks the entry; null restores the
    // default.
    zrv::SetResourceInstance(GetModuleHandleW(L"kernel32.dll"));
    CString elsewhere;
    const bool found = elsewhere.LoadString(IDS_TEST_SHORT);
    zrv::SetResourceInstance(nullptr);
    EXPECT_FALSE(found);
    EXPECT_TRUE(elsewhere.IsEmpty());
    EXPECT_EQ(GetModuleHandleW(nullptr), zrv::ResourceInstance());
    EXPECT_TRUE(elsewhere.LoadString(IDS_TEST_SHORT));
}

TEST(CStringFormat, FollowsTheRuntimeWidePrintfRules) {
    CString s;
    s.Format(L"%I64u", uint64_t{0});
    EXPECT_EQ(L"0", Text(s));
    s.Format(L"%I64u bytes", uint64_t{1023});
    EXPECT_EQ(L"1023 bytes", Text(s));
    s.Format(L"%I64u", uint64_t{5368709120});
    EXPECT_EQ(L"5368709120", Text(s));
    s.Format(L"%I64u", UINT64_MAX);
    EXPECT_EQ(L"18446744073709551615", Text(s));

    // %s takes a wide string in the runtime's wide printf; %hs a narrow one.
    s.Format(L"%s|%hs|%u|%d|%c|%5.2f|%-3x|%%", L"wide", "narrow", 4000000000u, -1, L'Z', 2.5, 255);
    EXPECT_EQ(L"wide|narrow|4000000000|-1|Z| 2.50|ff |%", Text(s));
    s.Format(L"%I32d/%Iu/%lld", 7, 8u, -5368709120LL);
    EXPECT_EQ(L"7/8/-5368709120", Text(s));

    // The format as the size worker gets it from the string table.
    CString format;
    ASSERT_TRUE(format.LoadString(IDS_TEST_KB_FORMAT));
    s.Format(format, uint64_t{5368709120} / 1024);
    EXPECT_EQ(L"5242880 KB", Text(s));

    // An argument may be the string being formatted.
    s = L"inner";
    s.Format(L"<%s>", s.GetString());
    EXPECT_EQ(L"<inner>", Text(s));

    const std::wstring big(3000, L'w');
    s.Format(L"%s!", big.c_str());
    EXPECT_EQ(big + L"!", Text(s));
}

TEST(CStringFormat, RejectedFormatsRaiseInvalidArgument) {
    CString s(L"unchanged");
    int count = 0;
    const wchar_t* const rejected[] = {
        L"%",  L"total: %", L"%I32", L"%I",  L"%Iy", L"%I16d", L"%y", L"%5",           L"%-",
        L"%.", L"%l",       L"%hhd", L"%zu", L"%jd", L"%Lf",   L"%k", L"%4294967296d",
    };
    for (const wchar_t* format : rejected) {
        EXPECT_EQ(E_INVALIDARG, RaisedBy([&] { s.Format(format, 1, 2, 3); })) << format;
    }
    // %n would write through its argument.
    EXPECT_EQ(E_INVALIDARG, RaisedBy([&] { s.Format(L"abc%n", &count); }));
    EXPECT_EQ(0, count);
    EXPECT_EQ(E_INVALIDARG, RaisedBy([&] { s.Format(nullptr); }));
    EXPECT_EQ(L"unchanged", Text(s));

    // The runtime is still usable afterwards.
    s.Format(L"%d%%", 50);
    EXPECT_EQ(L"50%", Text(s));
}

TEST(CStringThreads, SharedCopiesSurviveConcurrentCopying) {
    CString shared(L"text shared between threads");
    const void* id = shared.BufferId();

    auto work = [&shared](wchar_t mark) {
        for (int i = 0; i < 200000; ++i) {
            CString copy = shared;
            CString second(copy);
            if (i % 16 == 0) {
                second += mark;  // unshares on this thread only
                if (second.GetLength() != shared.GetLength() + 1) return false;
            }
            if (copy.BufferId() != shared.BufferId()) return false;
        }
        return true;
    };
    bool firstOk = false;
    bool secondOk = false;
    std::thread first([&] { firstOk = work(L'1'); });
    std::thread second([&] { secondOk = work(L'2'); });
    first.join();
    second.join();

    EXPECT_TRUE(firstOk);
    EXPECT_TRUE(secondOk);
    EXPECT_EQ(L"text shared between threads", Text(shared));
    // Every copy gave its share back: a write now happens in place.
    shared.GetBuffer()[0] = L'T';
    shared.ReleaseBuffer();
    EXPECT_EQ(id, shared.BufferId());
}

}  // namespace
