#include "support/cstring.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>

#include "common/cstring_maker.h"
#include "common/no_memory.h"
#include "support/module_instance.h"
#include "support/support_test_resource.h"

namespace {

using zrvtest::MakeCString;

// What the long string-table entries hold: a, b, c, ... z repeated.
std::wstring PatternText(int length) {
    std::wstring text;
    for (int i = 0; i < length; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
    return text;
}

std::wstring Text(const CString& s) { return std::wstring(s.GetString(), s.GetLength()); }

// The part of s that Mid gives, or "<failed>".
std::wstring MidText(const CString& s, int first, int count = INT_MAX) {
    CString part;
    if (FAILED(s.Mid(first, count, part))) return L"<failed>";
    return Text(part);
}

// s with text appended; a failure gives "<failed>".
CString Plus(CString s, const CString& text) {
    if (FAILED(s.Append(text))) return MakeCString(L"<failed>");
    return s;
}

TEST(CString, CopiesShareOneBufferUntilOneIsWritten) {
    const CString original = MakeCString(L"shared text");
    CString copy = original;
    CString assigned;
    assigned = copy;
    EXPECT_EQ(original.BufferId(), copy.BufferId());
    EXPECT_EQ(original.BufferId(), assigned.BufferId());

    EXPECT_EQ(S_OK, copy.Append(L"!"));
    EXPECT_NE(original.BufferId(), copy.BufferId());
    EXPECT_EQ(L"shared text!", Text(copy));
    EXPECT_EQ(L"shared text", Text(original));

    // Writing through GetBuffer is a write too.
    CString viaBuffer = original;
    wchar_t* buffer = viaBuffer.GetBuffer();
    ASSERT_NE(nullptr, buffer);
    EXPECT_NE(original.BufferId(), viaBuffer.BufferId());
    buffer[0] = L'X';
    EXPECT_EQ(S_OK, viaBuffer.ReleaseBuffer());
    EXPECT_EQ(L"Xhared text", Text(viaBuffer));
    EXPECT_EQ(L"shared text", Text(original));

    // Trimming or searching that changes nothing keeps the buffer shared.
    CString trimmed = original;
    EXPECT_EQ(S_OK, trimmed.Trim());
    EXPECT_EQ(original.BufferId(), trimmed.BufferId());
    CString whole;
    EXPECT_EQ(S_OK, original.Mid(0, whole));
    EXPECT_EQ(original.BufferId(), whole.BufferId());

    // A moved-from string is empty; the target took the buffer as it was.
    CString source = original;
    CString target = std::move(source);
    EXPECT_EQ(original.BufferId(), target.BufferId());
    EXPECT_TRUE(source.IsEmpty());
}

TEST(CString, AllEmptyStringsShareOneBuffer) {
    const void* empty = CString().BufferId();

    CString fromNull = MakeCString(L"something");
    EXPECT_EQ(S_OK, fromNull.SetString(nullptr));
    const CString fromEmptyText = MakeCString(L"");
    CString emptied = MakeCString(L"something");
    emptied.Empty();
    CString released = MakeCString(L"something");
    ASSERT_NE(nullptr, released.GetBuffer(40));
    EXPECT_EQ(S_OK, released.ReleaseBuffer(0));
    CString blank = MakeCString(L" \t\r\n ");
    EXPECT_EQ(S_OK, blank.Trim());
    CString formatted;
    EXPECT_EQ(S_OK, formatted.Format(L"%s", L""));
    CString beyond;
    EXPECT_EQ(S_OK, MakeCString(L"abc").Mid(5, beyond));

    EXPECT_EQ(empty, fromNull.BufferId());
    EXPECT_EQ(empty, fromEmptyText.BufferId());
    EXPECT_EQ(empty, emptied.BufferId());
    EXPECT_EQ(empty, released.BufferId());
    EXPECT_EQ(empty, blank.BufferId());
    EXPECT_EQ(empty, formatted.BufferId());
    EXPECT_EQ(empty, beyond.BufferId());

    const CString* const samples[] = {&fromNull, &emptied, &blank};
    for (const CString* s : samples) {
        EXPECT_TRUE(s->IsEmpty());
        EXPECT_EQ(0, s->GetLength());
        EXPECT_STREQ(L"", s->GetString());
    }
    EXPECT_NE(empty, MakeCString(L"x").BufferId());
}

TEST(CString, TextPointersAreCopiedUpToTheFirstNul) {
    const wchar_t withNul[] = L"ab\0cd";
    CString s;
    EXPECT_EQ(S_OK, s.SetString(withNul));
    EXPECT_EQ(2, s.GetLength());
    EXPECT_EQ(S_OK, s.SetString(L"longer text first"));
    EXPECT_EQ(S_OK, s.SetString(withNul));
    EXPECT_EQ(L"ab", Text(s));

    // With an explicit length the NUL is part of the text.
    CString counted;
    EXPECT_EQ(S_OK, counted.SetString(withNul, 5));
    EXPECT_EQ(5, counted.GetLength());
    EXPECT_EQ(std::wstring(withNul, 5), Text(counted));
    EXPECT_NE(counted, s);

    // The source may lie inside the target's own buffer, shared or not.
    CString self = MakeCString(L"hello world");
    EXPECT_EQ(S_OK, self.SetString(self.GetString() + 6));
    EXPECT_EQ(L"world", Text(self));
    CString sharedSelf = MakeCString(L"hello world");
    const CString keeper = sharedSelf;
    EXPECT_EQ(S_OK, sharedSelf.SetString(sharedSelf.GetString() + 6));
    EXPECT_EQ(L"world", Text(sharedSelf));
    EXPECT_EQ(L"hello world", Text(keeper));

    CString bad = MakeCString(L"kept");
    EXPECT_EQ(E_INVALIDARG, bad.SetString(nullptr, 3));
    EXPECT_EQ(E_INVALIDARG, bad.SetString(L"abc", -1));
    EXPECT_EQ(E_INVALIDARG, bad.Append(nullptr, 3));
    EXPECT_EQ(L"kept", Text(bad));
}

TEST(CString, AppendingAndConcatenation) {
    CString s = MakeCString(L"ab");
    EXPECT_EQ(S_OK, s.Append(L"cd"));
    EXPECT_EQ(S_OK, s.Append(L'e'));
    EXPECT_EQ(S_OK, s.Append(MakeCString(L"fg")));
    EXPECT_EQ(S_OK, s.Append(static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ(L"abcdefg", Text(s));

    EXPECT_EQ(S_OK, s.Append(s));  // reads from the buffer it grows
    EXPECT_EQ(L"abcdefgabcdefg", Text(s));
    EXPECT_EQ(S_OK, s.Append(s.GetString() + 7));
    EXPECT_EQ(L"abcdefgabcdefgabcdefg", Text(s));

    // Appending to an empty string shares the appended one.
    CString empty;
    const CString tail = MakeCString(L"tail");
    EXPECT_EQ(S_OK, empty.Append(tail));
    EXPECT_EQ(tail.BufferId(), empty.BufferId());

    CString grown;
    std::wstring expected;
    for (int i = 0; i < 5000; ++i) {
        const wchar_t ch = static_cast<wchar_t>(L'a' + i % 26);
        ASSERT_EQ(S_OK, grown.Append(ch));
        expected += ch;
    }
    EXPECT_EQ(expected, Text(grown));
}

// A walk builds path + "\\" + name at every level from strings that share
// their buffers; the buffers must follow the lengths, not compound.
TEST(CString, CapacityFollowsLengthThroughConcatenation) {
    CString path = MakeCString(L"C:\\base");
    const CString separator = MakeCString(L"\\");
    const CString name = MakeCString(L"folder");
    for (int level = 0; level < 200; ++level) {
        const CString keep = path;  // the caller's copy, still shared
        path = Plus(Plus(keep, separator), name);
        ASSERT_LE(path.GetAllocLength(), 2 * path.GetLength()) << "level " << level;
    }
    EXPECT_EQ(7 + 200 * 7, path.GetLength());

    // Appending to a copy, and to a string that owns its buffer.
    CString grown = MakeCString(L"start");
    for (int i = 0; i < 200; ++i) {
        CString copy = grown;
        ASSERT_EQ(S_OK, copy.Append(L"x"));
        grown = copy;
        ASSERT_EQ(S_OK, grown.Append(name));
    }
    EXPECT_LE(grown.GetAllocLength(), 2 * grown.GetLength());

    // Cutting a text back keeps its buffer for the next appends.
    CString cut = MakeCString(L"C:\\base\\folder");
    const void* buffer = cut.BufferId();
    EXPECT_EQ(S_OK, cut.Truncate(7));
    EXPECT_EQ(L"C:\\base", Text(cut));
    EXPECT_EQ(buffer, cut.BufferId());
    EXPECT_EQ(S_OK, cut.Truncate(100));
    EXPECT_EQ(L"C:\\base", Text(cut));
}

TEST(CString, ComparesByCodeUnit) {
    EXPECT_TRUE(MakeCString(L"abc") == L"abc");
    EXPECT_TRUE(L"abc" == MakeCString(L"abc"));
    EXPECT_TRUE(MakeCString(L"abc") != MakeCString(L"abd"));
    EXPECT_TRUE(MakeCString(L"abc") != L"ab");
    EXPECT_TRUE(MakeCString(L"ab") < MakeCString(L"abc"));
    EXPECT_TRUE(MakeCString(L"Z") < L"a");            // not case-folded
    EXPECT_TRUE(MakeCString(L"z") < L"\u00e9");       // not by locale collation
    EXPECT_TRUE(L"\u00e9" < MakeCString(L"\uff01"));  // code units compare unsigned
    EXPECT_FALSE(MakeCString(L"b") < MakeCString(L"a"));
    EXPECT_FALSE(MakeCString(L"a") < MakeCString(L"a"));

    // A null pointer compares as the empty string.
    EXPECT_TRUE(CString() == static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(static_cast<const wchar_t*>(nullptr) < MakeCString(L"a"));
}

TEST(CString, TrimFindAndSubstrings) {
    const std::pair<const wchar_t*, const wchar_t*> trims[] = {
        {L" \t a b \r\n", L"a b"}, {L"  x", L"x"}, {L"x  ", L"x"}, {L" \t ", L""}};
    for (const auto& trim : trims) {
        CString s = MakeCString(trim.first);
        EXPECT_EQ(S_OK, s.Trim());
        EXPECT_EQ(trim.second, Text(s));
    }

    const CString s = MakeCString(L"abcabc");
    EXPECT_EQ(1, s.Find(L'b'));
    EXPECT_EQ(4, s.Find(L'b', 2));
    EXPECT_EQ(-1, s.Find(L'z'));
    EXPECT_EQ(-1, s.Find(L'a', 6));
    EXPECT_EQ(0, s.Find(L'a', -5));
    EXPECT_EQ(-1, CString().Find(L'a'));

    EXPECT_EQ(L"cabc", MidText(s, 2));
    EXPECT_EQ(L"ca", MidText(s, 2, 2));
    EXPECT_EQ(L"bc", MidText(s, 4, 99));
    EXPECT_EQ(L"ab", MidText(s, -3, 2));
    EXPECT_EQ(L"", MidText(s, 6));
    EXPECT_EQ(L"", MidText(s, 2, -1));
    EXPECT_EQ(L"c", MidText(s, 5, INT_MAX));

    // The part may go into the string it comes from.
    CString into = MakeCString(L"abcabc");
    EXPECT_EQ(S_OK, into.Mid(2, 3, into));
    EXPECT_EQ(L"cab", Text(into));
}

// Reading past the text finds nothing there: the terminator's NUL.
TEST(CString, CharacterAccessIsRangeChecked) {
    const CString s = MakeCString(L"abc");
    EXPECT_EQ(L'a', s[0]);
    EXPECT_EQ(L'c', s.GetAt(2));
    EXPECT_EQ(L'\0', s[3]);  // the terminator may be read
    EXPECT_EQ(L'b', s[size_t{1}]);
    EXPECT_EQ(L'\0', s.GetAt(4));
    EXPECT_EQ(L'\0', s[-1]);
    EXPECT_EQ(L'\0', s[size_t{0x80000000u}]);
}

TEST(CString, BufferAccess) {
    CString s;
    wchar_t* buffer = s.GetBuffer(10);
    ASSERT_NE(nullptr, buffer);
    wcscpy(buffer, L"0123456789");
    EXPECT_EQ(S_OK, s.ReleaseBuffer());
    EXPECT_EQ(L"0123456789", Text(s));

    ASSERT_NE(nullptr, s.GetBuffer());
    EXPECT_EQ(S_OK, s.ReleaseBuffer(4));
    EXPECT_EQ(L"0123", Text(s));

    // GetBuffer keeps the text when it grows the buffer.
    buffer = s.GetBuffer(300);
    ASSERT_NE(nullptr, buffer);
    EXPECT_STREQ(L"0123", buffer);
    buffer[4] = L'4';
    buffer[5] = L'\0';
    EXPECT_EQ(S_OK, s.ReleaseBuffer());
    EXPECT_EQ(L"01234", Text(s));

    buffer = s.GetBufferSetLength(3);
    ASSERT_NE(nullptr, buffer);
    EXPECT_EQ(3, s.GetLength());
    EXPECT_STREQ(L"012", buffer);
    EXPECT_EQ(S_OK, s.ReleaseBuffer());

    // A length beyond the buffer settles it up to the first NUL.
    buffer = s.GetBuffer(8);
    ASSERT_NE(nullptr, buffer);
    EXPECT_EQ(S_OK, s.ReleaseBuffer(100000));
    EXPECT_EQ(L"012", Text(s));
    EXPECT_EQ(nullptr, s.GetBuffer(-1));

    // A copy taken while the buffer is out keeps the old length.
    buffer = s.GetBuffer(8);
    ASSERT_NE(nullptr, buffer);
    wcscpy(buffer, L"0123456");
    const CString copy = s;
    EXPECT_EQ(S_OK, s.ReleaseBuffer());
    EXPECT_EQ(L"0123456", Text(s));
    EXPECT_EQ(3, copy.GetLength());

    // A request no allocation can meet leaves the string as it was.
    CString kept = MakeCString(L"kept");
    EXPECT_EQ(nullptr, kept.GetBuffer(INT_MAX));
    EXPECT_EQ(nullptr, kept.GetBuffer(0x3ffffff0));
    EXPECT_EQ(L"kept", Text(kept));
}

// Every operation that needs memory answers its lack and leaves the string
// as it was: the module's callers then keep what they had, or refuse.
TEST(CString, WithoutMemoryEveryOperationKeepsTheText) {
    CString s = MakeCString(L" shared text ");
    const CString copy = s;  // so that even in-place work needs a buffer
    CString part = MakeCString(L"part");
    HRESULT results[9] = {};
    wchar_t* buffers[2] = {};
    bool failing = false;
    {
        zrvtest::NoMemory noMemory;
        failing = noMemory.ok();
        results[0] = s.SetString(L"other");
        results[1] = s.Append(L"more");
        results[2] = s.Append(L'!');
        results[3] = s.Trim();
        results[4] = s.Mid(2, 3, part);
        results[5] = s.Format(L"%d", 42);
        results[6] = s.LoadString(IDS_TEST_SHORT);
        results[7] = s.Truncate(3);
        results[8] = s.LoadLocalizedString(IDS_TEST_SHORT);
        buffers[0] = s.GetBuffer();
        buffers[1] = s.GetBufferSetLength(2);
    }
    ASSERT_TRUE(failing);
    for (HRESULT hr : results) EXPECT_EQ(E_OUTOFMEMORY, hr);
    EXPECT_EQ(nullptr, buffers[0]);
    EXPECT_EQ(nullptr, buffers[1]);
    EXPECT_EQ(L" shared text ", Text(s));
    EXPECT_EQ(copy.BufferId(), s.BufferId());
    EXPECT_EQ(L"part", Text(part));
}

TEST(CStringLoadString, LoadsEntriesOfAnyLength) {
    // In a program that links the code itself, the program is the module.
    EXPECT_EQ(GetModuleHandleW(nullptr), zrv::ResourceInstance());

    CString s;
    EXPECT_EQ(S_OK, s.LoadString(IDS_TEST_SHORT));
    EXPECT_EQ(L"Hello, table", Text(s));

    // Lengths on both sides of the 256-character read steps.
    for (const auto& entry :
         {std::make_pair(IDS_TEST_LEN255, 255), std::make_pair(IDS_TEST_LEN256, 256),
          std::make_pair(IDS_TEST_LEN700, 700), std::make_pair(IDS_TEST_LEN1000, 1000)}) {
        CString loaded = MakeCString(L"previous");
        EXPECT_EQ(S_OK, loaded.LoadString(entry.first)) << entry.first;
        EXPECT_EQ(entry.second, loaded.GetLength()) << entry.first;
        EXPECT_EQ(PatternText(entry.second), Text(loaded)) << entry.first;
    }

    CString localized;
    EXPECT_EQ(S_OK, localized.LoadLocalizedString(IDS_TEST_SHORT));
    EXPECT_EQ(L"Hello, table", Text(localized));
}

TEST(CStringLoadString, MissingEntriesGiveTheEmptyString) {
    CString s = MakeCString(L"previous");
    EXPECT_EQ(S_FALSE, s.LoadString(IDS_TEST_MISSING));
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(CString().BufferId(), s.BufferId());

    CString localized = MakeCString(L"previous");
    EXPECT_EQ(S_FALSE, localized.LoadLocalizedString(IDS_TEST_MISSING));
    EXPECT_TRUE(localized.IsEmpty());

    // Another resource module: its table lacks the entry; null restores the
    // default.
    zrv::SetResourceInstance(GetModuleHandleW(L"kernel32.dll"));
    CString elsewhere;
    const HRESULT found = elsewhere.LoadString(IDS_TEST_SHORT);
    zrv::SetResourceInstance(nullptr);
    EXPECT_EQ(S_FALSE, found);
    EXPECT_TRUE(elsewhere.IsEmpty());
    EXPECT_EQ(GetModuleHandleW(nullptr), zrv::ResourceInstance());
    EXPECT_EQ(S_OK, elsewhere.LoadString(IDS_TEST_SHORT));
}

TEST(CStringFormat, FollowsTheRuntimeWidePrintfRules) {
    CString s;
    EXPECT_EQ(S_OK, s.Format(L"%I64u", uint64_t{0}));
    EXPECT_EQ(L"0", Text(s));
    EXPECT_EQ(S_OK, s.Format(L"%I64u bytes", uint64_t{1023}));
    EXPECT_EQ(L"1023 bytes", Text(s));
    EXPECT_EQ(S_OK, s.Format(L"%I64u", uint64_t{5368709120}));
    EXPECT_EQ(L"5368709120", Text(s));
    EXPECT_EQ(S_OK, s.Format(L"%I64u", UINT64_MAX));
    EXPECT_EQ(L"18446744073709551615", Text(s));

    // %s takes a wide string in the runtime's wide printf; %hs a narrow one.
    EXPECT_EQ(S_OK, s.Format(L"%s|%hs|%u|%d|%c|%5.2f|%-3x|%%", L"wide", "narrow", 4000000000u, -1,
                             L'Z', 2.5, 255));
    EXPECT_EQ(L"wide|narrow|4000000000|-1|Z| 2.50|ff |%", Text(s));
    EXPECT_EQ(S_OK, s.Format(L"%I32d/%Iu/%lld", 7, 8u, -5368709120LL));
    EXPECT_EQ(L"7/8/-5368709120", Text(s));

    // The format as the size worker gets it from the string table.
    CString format;
    ASSERT_EQ(S_OK, format.LoadString(IDS_TEST_KB_FORMAT));
    EXPECT_EQ(S_OK, s.Format(format, uint64_t{5368709120} / 1024));
    EXPECT_EQ(L"5242880 KB", Text(s));

    // An argument may be the string being formatted.
    s = MakeCString(L"inner");
    EXPECT_EQ(S_OK, s.Format(L"<%s>", s.GetString()));
    EXPECT_EQ(L"<inner>", Text(s));

    const std::wstring big(3000, L'w');
    EXPECT_EQ(S_OK, s.Format(L"%s!", big.c_str()));
    EXPECT_EQ(big + L"!", Text(s));
}

TEST(CStringFormat, RejectedFormatsAnswerInvalidArgument) {
    CString s = MakeCString(L"unchanged");
    int count = 0;
    const wchar_t* const rejected[] = {
        L"%",  L"total: %", L"%I32", L"%I",  L"%Iy", L"%I16d", L"%y", L"%5",           L"%-",
        L"%.", L"%l",       L"%hhd", L"%zu", L"%jd", L"%Lf",   L"%k", L"%4294967296d",
    };
    for (const wchar_t* format : rejected) {
        EXPECT_EQ(E_INVALIDARG, s.Format(format, 1, 2, 3)) << format;
    }
    // %n would write through its argument.
    EXPECT_EQ(E_INVALIDARG, s.Format(L"abc%n", &count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(E_INVALIDARG, s.Format(nullptr));
    EXPECT_EQ(L"unchanged", Text(s));

    // The runtime is still usable afterwards.
    EXPECT_EQ(S_OK, s.Format(L"%d%%", 50));
    EXPECT_EQ(L"50%", Text(s));
}

TEST(CStringThreads, SharedCopiesSurviveConcurrentCopying) {
    CString shared = MakeCString(L"text shared between threads");
    const void* id = shared.BufferId();

    auto work = [&shared](wchar_t mark) {
        for (int i = 0; i < 200000; ++i) {
            CString copy = shared;
            CString second(copy);
            if (i % 16 == 0) {
                if (FAILED(second.Append(mark))) return false;  // unshares on this thread only
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
    wchar_t* buffer = shared.GetBuffer();
    ASSERT_NE(nullptr, buffer);
    buffer[0] = L'T';
    EXPECT_EQ(S_OK, shared.ReleaseBuffer());
    EXPECT_EQ(id, shared.BufferId());
}

}  // namespace
