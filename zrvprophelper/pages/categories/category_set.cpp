#include "category_set.h"

#include <algorithm>

namespace {

void SortNames(std::vector<CString>& names) {
    std::sort(names.begin(), names.end(), [](const CString& a, const CString& b) { return a < b; });
}

bool Contains(const std::vector<CString>& names, const CString& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

CategorySet::CategorySet(CString text) {
    if (text.IsEmpty()) return;
    const int length = text.GetLength();
    int start = 0;
    for (;;) {
        int end = text.Find(L';', start);
        if (end < 0) end = length;
        // An empty piece (";;") is no name, but one of white space only is
        // the empty name: the test comes before trimming.
        if (end > start) {
            CString piece = text.Mid(start, end - start);
            piece.Trim();
            if (!Contains(m_names, piece)) m_names.push_back(piece);
        }
        if (end == length) break;
        start = end + 1;
    }
    SortNames(m_names);
    m_text = std::move(text);
}

CategorySet::WasPresent CategorySet::Add(const wchar_t* name) {
    const CString wanted(name);
    CString text;
    for (const CString& present : m_names) {
        if (present == wanted) return true;
        text += present;
        text += kSeparator;
    }
    text += wanted;
    m_names.push_back(wanted);
    SortNames(m_names);
    m_text = std::move(text);
    return false;
}

CategorySet::WasPresent CategorySet::Remove(const wchar_t* name) {
    const CString unwanted(name);
    CString text;
    auto found = m_names.end();
    for (auto it = m_names.begin(); it != m_names.end(); ++it) {
        if (*it == unwanted) {
            found = it;
        } else {
            text += *it;
            text += kSeparator;
        }
    }
    if (found == m_names.end()) return false;
    m_names.erase(found);
    m_text = std::move(text);
    return true;
}
