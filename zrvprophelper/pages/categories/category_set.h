#pragma once
// A document's categories as the store keeps them: one text of names
// separated by ';'. A CategorySet reads that text, applies the changes of one
// arrow press and gives the text to store back; nothing of it outlives the
// press.
//
// Names are unique under exact comparison (no case folding, no trimming of
// names passed to Add and Remove) and kept in code-unit order. Reading trims
// white space around each name and skips empty pieces, but a piece of white
// space alone is the empty name. Memory exhaustion raises the allocation
// exception of the container or the string; nothing is caught here.

#include <vector>

#include "support/cstring.h"

class CategorySet {
  public:
    // The text is kept as it is until the first change.
    explicit CategorySet(CString text);

    // Both changes answer whether the name was in the set before the call.
    using WasPresent = bool;

    // A name already there changes nothing. Otherwise the text becomes the
    // earlier names in order, each followed by "; ", and the added name
    // last, with no separator after it.
    WasPresent Add(const wchar_t* name);
    // A name that was there is gone; the text becomes the names that are
    // left, each followed by "; " (empty when none is left).
    WasPresent Remove(const wchar_t* name);

    CString GetText() const { return m_text; }
    const std::vector<CString>& Names() const noexcept { return m_names; }

  private:
    static constexpr const wchar_t* kSeparator = L"; ";

    std::vector<CString> m_names;
    CString m_text;
};
