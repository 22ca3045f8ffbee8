#pragma once
// The walk over the categories that were selected when GetSelection was
// called.
//
// Ownership differs from plain COM: the list that hands the enumerator out
// keeps it, and the caller may use it without ever releasing it. The
// enumerator therefore counts only the references callers take themselves
// and lives while the list still owns it or any such reference is held. A
// caller that releases it anyway, as if it were an ordinary out pointer,
// does no harm: the list's ownership keeps it alive until the list lets go.

#include <windows.h>

#include <string>
#include <vector>

#include "categorylist/server.h"
#include "components/component_ids.h"

namespace zrvcatlist {

class CCategoryEnum final : public ICategoryEnum {
  public:
    // Owned by the caller (the list) until it calls Disown. Null when
    // memory runs out.
    static CCategoryEnum* Create(std::vector<std::wstring> names) noexcept;

    // The list lets go; the enumerator goes now unless a caller holds it.
    void Disown() noexcept;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Reset() override;
    // Fills up to count records, each zero-filled and holding one name cut
    // to 259 characters; S_FALSE when fewer than count were left.
    STDMETHODIMP Next(ULONG count, CategoryItem* items, ULONG* fetched) override;

  private:
    explicit CCategoryEnum(std::vector<std::wstring> names) noexcept;
    ~CCategoryEnum() = default;

    ServerLock m_serverLock;
    volatile LONG m_callerRefs = 0;
    bool m_owned = true;
    std::vector<std::wstring> m_names;
    size_t m_position = 0;
};

}  // namespace zrvcatlist
