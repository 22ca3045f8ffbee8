#include "category_set.h"

#include <algorithm>
#include <utility>

#include "support/hresult.h"

namespace {

using NameList = zrv::nothrow_vector<CString>;

void SortNames(NameList& names) noexcept {
    std::sort(names.begin(), names.end(), [](const CString& a, const CString& b) { return a < b; });
}

bool Contains(const NameList& names, const CString& name) noexcept {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

HRESULT CategorySet::Read(const CString& text) noexcept {
    NameList names;
    const int length = text.GetLength();
    for (int start = 0; start < length;) {
        int end = text.Find(L';', start);
        if (end < 0) end = length;
        // An empty piece (";;") is no name, but one of white space only is
        // the empty name: the test comes before trimming.
        if (end > start) {
            CString piece;
            ZRV_RETURN_IF_FAILED(text.Mid(start, end - start, piece));
            ZRV_RETURN_IF_FAILED(piece.Trim());
            if (!Contains(names, piece)) ZRV_RETURN_IF_FAILED(names.push_back(std::move(piece)));
        }
        start = end + 1;
    }
    SortNames(names);
    m_names = std::move(names);
    m_text = text;
    return S_OK;
}

HRESULT CategorySet::Add(const wchar_t* name) noexcept {
    CString wanted;
    ZRV_RETURN_IF_FAILED(wanted.SetString(name));
    CString text;
    for (const CString& present : m_names) {
        if (present == wanted) return S_FALSE;
        ZRV_RETURN_IF_FAILED(text.Append(present));
        ZRV_RETURN_IF_FAILED(text.Append(kSeparator));
    }
    ZRV_RETURN_IF_FAILED(text.Append(wanted));
    ZRV_RETURN_IF_FAILED(m_names.push_back(std::move(wanted)));
    SortNames(m_names);
    m_text = std::move(text);
    return S_OK;
}

HRESULT CategorySet::Remove(const wchar_t* name) noexcept {
    CString text;
    CString* found = nullptr;
    for (CString& present : m_names) {
        if (present == name) {
            found = &present;
        } else {
            ZRV_RETURN_IF_FAILED(text.Append(present));
            ZRV_RETURN_IF_FAILED(text.Append(kSeparator));
        }
    }
    if (!found) return S_FALSE;
    m_names.erase(found);
    m_text = std::move(text);
    return S_OK;
}
