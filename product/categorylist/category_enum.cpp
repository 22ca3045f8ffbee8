#include "category_enum.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "support/com_object.h"

namespace zrvcatlist {

static_assert(sizeof(CategoryItem) == 1052, "callers pass 1052-byte records");

CCategoryEnum* CCategoryEnum::Create(std::vector<std::wstring> names) noexcept {
    return new (std::nothrow) CCategoryEnum(std::move(names));
}

CCategoryEnum::CCategoryEnum(std::vector<std::wstring> names) noexcept
    : m_names(std::move(names)) {}

void CCategoryEnum::Disown() noexcept {
    m_owned = false;
    if (::InterlockedCompareExchange(&m_callerRefs, 0, 0) <= 0) delete this;
}

STDMETHODIMP CCategoryEnum::QueryInterface(REFIID iid, void** object) {
    const zrv::QiEntry table[] = {{&IID_ICategoryEnum, static_cast<ICategoryEnum*>(this)}};
    return zrv::QueryFromTable(table, iid, object);
}

STDMETHODIMP_(ULONG) CCategoryEnum::AddRef() {
    const LONG refs = ::InterlockedIncrement(&m_callerRefs);
    return refs > 0 ? static_cast<ULONG>(refs) : 1;
}

STDMETHODIMP_(ULONG) CCategoryEnum::Release() {
    const LONG refs = ::InterlockedDecrement(&m_callerRefs);
    if (refs > 0) return static_cast<ULONG>(refs);
    if (!m_owned) {
        delete this;
        return 0;
    }
    return 1;  // the list's own hold
}

STDMETHODIMP CCategoryEnum::Reset() {
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CCategoryEnum::Next(ULONG count, CategoryItem* items, ULONG* fetched) {
    if (fetched) *fetched = 0;
    if (!items) return E_POINTER;
    ULONG copied = 0;
    for (; copied < count && m_position < m_names.size(); ++copied, ++m_position) {
        CategoryItem& item = items[copied];
        std::memset(&item, 0, sizeof(item));
        const std::wstring& name = m_names[m_position];
        const size_t length = std::min(name.size(), ARRAYSIZE(item.name) - 1);
        std::memcpy(item.name, name.data(), length * sizeof(wchar_t));
    }
    if (fetched) *fetched = copied;
    return copied == count ? S_OK : S_FALSE;
}

}  // namespace zrvcatlist
