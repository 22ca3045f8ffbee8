// The categories text model: the documented examples, then a randomized run
// over many generated texts and name sequences that checks what must hold
// for any input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/cstring_maker.h"
#include "common/no_memory.h"
#include "pages/categories/category_set.h"

namespace {

using Names = std::vector<std::wstring>;

Names NamesOf(const CategorySet& set) {
    Names names;
    for (const CString& name : set.Names()) names.emplace_back(name.GetString(), name.GetLength());
    return names;
}

CategorySet ReadSet(const std::wstring& text) {
    CategorySet set;
    EXPECT_EQ(S_OK, set.Read(zrvtest::MakeCString(text)));
    return set;
}

Names Read(const std::wstring& text) { return NamesOf(ReadSet(text)); }

std::wstring TextOf(const CategorySet& set) {
    const CString& text = set.GetText();
    return std::wstring(text.GetString(), text.GetLength());
}

TEST(CategorySet, AddPutsTheEarlierNamesInOrderAndTheNewNameLast) {
    CategorySet empty = ReadSet(L"");
    EXPECT_TRUE(empty.Names().empty());
    EXPECT_EQ(S_OK, empty.Add(L"Work"));
    EXPECT_EQ(L"Work", TextOf(empty));

    CategorySet set = ReadSet(L"Work; Home");
    EXPECT_EQ((Names{L"Home", L"Work"}), NamesOf(set));
    EXPECT_EQ(L"Work; Home", TextOf(set)) << "the text stays as read until a change";
    EXPECT_EQ(S_OK, set.Add(L"Alpha"));
    EXPECT_EQ(L"Home; Work; Alpha", TextOf(set));
    EXPECT_EQ(S_OK, set.Add(L"Zeta"));
    EXPECT_EQ(L"Alpha; Home; Work; Zeta", TextOf(set));
    EXPECT_EQ((Names{L"Alpha", L"Home", L"Work", L"Zeta"}), NamesOf(set));

    // A text that yields no names is kept until the first change.
    CategorySet separators = ReadSet(L";;");
    EXPECT_TRUE(separators.Names().empty());
    EXPECT_EQ(L";;", TextOf(separators));
    EXPECT_EQ(S_OK, separators.Add(L"x"));
    EXPECT_EQ(L"x", TextOf(separators));
}

TEST(CategorySet, RemoveLeavesATrailingSeparatorAndTheLastRemovalAnEmptyText) {
    CategorySet set = ReadSet(L"Work;Alpha;Home");
    EXPECT_EQ(S_OK, set.Remove(L"Home"));
    EXPECT_EQ(L"Alpha; Work; ", TextOf(set));
    EXPECT_EQ((Names{L"Alpha", L"Work"}), NamesOf(set));

    CategorySet last = ReadSet(L"Work");
    EXPECT_EQ(S_OK, last.Remove(L"Work"));
    EXPECT_EQ(L"", TextOf(last));
    EXPECT_TRUE(last.Names().empty());
}

TEST(CategorySet, NoChangeKeepsTheTextExactlyAsRead) {
    const wchar_t* stored = L"  Work ;Home;;  ";
    CategorySet set = ReadSet(stored);
    EXPECT_EQ(S_FALSE, set.Add(L"Home"));
    EXPECT_EQ(S_FALSE, set.Remove(L"Alpha"));
    EXPECT_EQ(S_FALSE, set.Remove(L"home")) << "names compare exactly";
    EXPECT_EQ(stored, TextOf(set));
}

TEST(CategorySet, ReadingTrimsSkipsEmptyPiecesAndKeepsEachNameOnce) {
    EXPECT_EQ((Names{L"a", L"b"}), Read(L"a;;b"));
    EXPECT_EQ((Names{L"a", L"b"}), Read(L"a;b"));
    EXPECT_EQ((Names{L"a", L"b"}), Read(L"a; b"));
    EXPECT_EQ((Names{L"A", L"a"}), Read(L"a; a ; A"));
    EXPECT_EQ((Names{L"x"}), Read(L"x"));
    EXPECT_EQ((Names{L"x"}), Read(L";x;"));
    EXPECT_EQ((Names{L"x"}), Read(L"\t x \u3000"));
    // A piece of white space only is the empty name, as written by Remove.
    EXPECT_EQ((Names{L"", L"a", L"b"}), Read(L"a; b; "));
    EXPECT_EQ((Names{L"", L"a", L"b"}), Read(L"a; ;b"));

    CategorySet withEmpty = ReadSet(L"a; ;b");
    EXPECT_EQ(S_OK, withEmpty.Add(L"c"));
    EXPECT_EQ(L"; a; b; c", TextOf(withEmpty));
    EXPECT_EQ((Names{L"a", L"b", L"c"}), Read(TextOf(withEmpty).c_str()));
}

TEST(CategorySet, OrdersByCodeUnitAndTakesNamesAsGiven) {
    CategorySet set = ReadSet(L"");
    for (const wchar_t* name :
         {L"b", L"abc", L"\uFF21", L"B", L"ab", L"\u00E9", L"\xD83D\xDE00", L"Z", L""}) {
        EXPECT_EQ(S_OK, set.Add(name));
    }
    // Capitals before small letters, a prefix before what extends it, and
    // surrogates (0xD800...) before the full-width A (0xFF21).
    EXPECT_EQ((Names{L"", L"B", L"Z", L"ab", L"abc", L"b", L"\u00E9", L"\xD83D\xDE00", L"\uFF21"}),
              NamesOf(set));

    // Names from the list control are neither trimmed nor split.
    CategorySet stored = ReadSet(L"Work");
    EXPECT_EQ(S_OK, stored.Add(L"Work "));
    EXPECT_EQ(S_OK, stored.Add(L"Home;Travel"));
    EXPECT_EQ((Names{L"Home;Travel", L"Work", L"Work "}), NamesOf(stored));
    EXPECT_EQ((Names{L"Home", L"Travel", L"Work"}), Read(TextOf(stored).c_str()));
}

// A press whose change runs out of memory must not store a text that lost a
// name, nor one that the names no longer match.
TEST(CategorySet, ChangesWithoutMemoryLeaveTheSetAsItWas) {
    CategorySet set = ReadSet(L"Work; Home");
    const CString other = zrvtest::MakeCString(L"a;b");
    HRESULT results[3] = {};
    bool failing = false;
    {
        zrvtest::NoMemory noMemory;
        failing = noMemory.ok();
        results[0] = set.Add(L"Alpha");
        results[1] = set.Remove(L"Home");
        results[2] = set.Read(other);
    }
    ASSERT_TRUE(failing);
    for (HRESULT hr : results) EXPECT_EQ(E_OUTOFMEMORY, hr);
    EXPECT_EQ(L"Work; Home", TextOf(set));
    EXPECT_EQ((Names{L"Home", L"Work"}), NamesOf(set));
}

// ---- randomized

class Generator {
  public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }

    // Texts as stores hold them, and worse: names, separators, runs of
    // white space of several kinds, empty pieces, long names, and now and
    // then any code unit but NUL.
    std::wstring Text() {
        std::wstring text;
        const size_t pieces = Below(9);
        for (size_t i = 0; i < pieces; ++i) {
            text += Spaces();
            if (Below(5) != 0) text += Name();
            text += Spaces();
            if (i + 1 < pieces || Below(3) == 0) text.append(1 + (Below(4) == 0), L';');
        }
        if (Below(10) == 0) {
            for (size_t i = Below(40); i > 0; --i) text += static_cast<wchar_t>(1 + Below(0xFFFF));
        }
        return text;
    }

    // Names as a list control might deliver them, some with white space or
    // a ';' in them.
    std::wstring DeliveredName() {
        switch (Below(8)) {
            case 0:
                return Spaces() + Name() + Spaces();
            case 1:
                return Name() + L";" + Name();
            case 2:
                return L"";
            default:
                return Name();
        }
    }

    std::wstring Name() {
        static const wchar_t* const kWords[] = {
            L"a",   L"A",    L"b",     L"Work", L"work", L"Home", L"\u00E9t\u00E9",
            L"Z z", L"x\ty", L"\uFF21"};
        if (Below(30) == 0)
            return std::wstring(200 + Below(400), static_cast<wchar_t>(L'a' + Below(3)));
        return kWords[Below(ARRAYSIZE(kWords))];
    }

    std::wstring Spaces() {
        static const wchar_t kSpaces[] = {L' ',  L'\t', L'\n',     L'\r',
                                          L'\v', L'\f', L'\u3000', L'\u2003'};
        std::wstring spaces;
        for (size_t i = Below(4); i > 0; --i) spaces += kSpaces[Below(ARRAYSIZE(kSpaces))];
        return spaces;
    }

  private:
    std::mt19937 m_random;
};

bool IsSpace(wchar_t c) { return std::iswspace(c) != 0; }

// What reading must give: every non-empty piece between separators,
// trimmed, each once, in code-unit order.
Names ExpectedNames(const std::wstring& text) {
    std::set<std::wstring> names;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L';', start);
        if (end == std::wstring::npos) end = text.size();
        if (end > start) {
            size_t first = start;
            size_t last = end;
            while (first < last && IsSpace(text[first])) ++first;
            while (last > first && IsSpace(text[last - 1])) --last;
            names.insert(text.substr(first, last - first));
        }
        start = end + 1;
    }
    return Names(names.begin(), names.end());
}

bool StrictlyAscending(const Names& names) {
    return std::adjacent_find(names.begin(), names.end(),
                              [](const std::wstring& a, const std::wstring& b) {
                                  return !(a < b);
                              }) == names.end();
}

// A name survives a write and a read when it has no separator and no white
// space at its ends.
bool TravelsThroughText(const std::wstring& name) {
    return name.find(L';') == std::wstring::npos &&
           (name.empty() || (!IsSpace(name.front()) && !IsSpace(name.back())));
}

Names WithoutEmpty(Names names) {
    names.erase(std::remove(names.begin(), names.end(), std::wstring()), names.end());
    return names;
}

TEST(CategorySetRandomized, ReadingAndChangingKeepNamesUniqueSortedAndReadable) {
    Generator generate(20240611u);
    int roundTrips = 0;
    for (int round = 0; round < 4000; ++round) {
        const std::wstring text = generate.Text();
        SCOPED_TRACE(::testing::Message() << "round " << round);
        CategorySet set = ReadSet(text.c_str());
        Names names = NamesOf(set);
        ASSERT_EQ(ExpectedNames(text), names);
        ASSERT_EQ(text, TextOf(set));

        std::set<std::wstring> model(names.begin(), names.end());
        for (size_t step = generate.Below(12); step > 0; --step) {
            const std::wstring name = generate.Below(3) == 0 && !model.empty()
                                          ? *std::next(model.begin(), generate.Below(model.size()))
                                          : generate.DeliveredName();
            const bool present = model.count(name) != 0;
            if (generate.Below(3) != 0) {
                ASSERT_EQ(present ? S_FALSE : S_OK, set.Add(name.c_str()));
                model.insert(name);
            } else {
                ASSERT_EQ(present ? S_OK : S_FALSE, set.Remove(name.c_str()));
                model.erase(name);
            }
            names = NamesOf(set);
            ASSERT_TRUE(StrictlyAscending(names));
            ASSERT_EQ(Names(model.begin(), model.end()), names);
            // Whenever every name can travel through text, reading the text
            // gives them back, apart from the empty name: a leading separator
            // drops it, a trailing one (after Remove) makes it.
            if (std::all_of(names.begin(), names.end(), TravelsThroughText)) {
                ++roundTrips;
                ASSERT_EQ(WithoutEmpty(names), WithoutEmpty(Read(TextOf(set).c_str())))
                    << "text written: " << ::testing::PrintToString(TextOf(set));
            }
        }
    }
    EXPECT_GT(roundTrips, 2000) << "the generator should mostly make readable names";
}

}  // namespace
