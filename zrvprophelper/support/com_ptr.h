#pragma once
// A nothrow owning interface pointer. put() releases the old pointer before
// handing out the address, so out parameters never leak a reference.

#include <unknwn.h>
#include <cstddef>
#include <utility>

namespace zrv {

template <typename T>
class com_ptr {
  public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Takes a new reference on p.
    explicit com_ptr(T* p) noexcept : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    com_ptr(const com_ptr& other) noexcept : com_ptr(other.m_p) {}
    com_ptr(com_ptr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    com_ptr& operator=(const com_ptr& other) noexcept {
        com_ptr(other).swap(*this);
        return *this;
    }
    com_ptr& operator=(com_ptr&& other) noexcept {
        com_ptr(std::move(other)).swap(*this);
        return *this;
    }
    ~com_ptr() { reset(); }

    // Adopts a reference the caller already owns.
    static com_ptr attach(T* p) noexcept {
        com_ptr r;
        r.m_p = p;
        return r;
    }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    void reset() noexcept {
        if (T* old = std::exchange(m_p, nullptr)) old->Release();
    }
    T* detach() noexcept { return std::exchange(m_p, nullptr); }
    T** put() noexcept {
        reset();
        return &m_p;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    void swap(com_ptr& other) noexcept { std::swap(m_p, other.m_p); }

    template <typename U>
    HRESULT query(REFIID iid, com_ptr<U>& out) const noexcept {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(iid, out.put_void());
    }

  private:
    T* m_p = nullptr;
};

}  // namespace zrv
