#pragma once
// A document's categories as the store keeps them: one text of names
// separated by ';'. A CategorySet reads that text, applies the changes of one
// arrow press and gives the text to store back; nothing of it outlives the
// press.
//
// Names are unique under exact comparison (no case folding, no trimming of
// names passed to Add and Remove) and kept in code-unit order. Reading trims
// white space around each name and skips empty pieces, but a piece of white
// space alone is the empty name. Running out of memory answers E_OUTOFMEMORY
// and leaves the set as it was.

#include "support/cstring.h"
#include "support/nothrow_vector.h"

class CategorySet {
  public:
    CategorySet() noexcept = default;

    // Takes the stored text; it is kept as it is until the first change.
    [[nodiscard]] HRESULT Read(const CString& text) noexcept;

    // Both changes answer S_OK when they changed the set, S_FALSE when the
    // name was already there (Add) or was not there (Remove).
    //
    // Add: the text becomes the earlier names in order, each followed by
    // "; ", and the added name last, with no separator after it.
    [[nodiscard]] HRESULT Add(const wchar_t* name) noexcept;
    // Remove: the text becomes the names that are left, each followed by
    // "; " (empty when none is left).
    [[nodiscard]] HRESULT Remove(const wchar_t* name) noexcept;

    const CString& GetText() const noexcept { return m_text; }
    const zrv::nothrow_vector<CString>& Names() const noexcept { return m_names; }

  private:
    static constexpr const wchar_t* kSeparator = L"; ";

    zrv::nothrow_vector<CString> m_names;
    CString m_text;
};
