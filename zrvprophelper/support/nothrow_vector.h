#pragma once
// A growable array that answers running out of memory instead of raising it:
// growing returns E_OUTOFMEMORY and leaves the array as it was. The module
// reports every failure by its result, so nothing of the standard
// containers' throwing growth may be linked into it.
//
// Elements are moved, never copied, when the array grows; their moves must
// not throw. An array is moved but not copied: a copy would need memory. An
// element type may hold arrays of itself (a tree's nodes).

#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

namespace zrv {

template <typename T>
class nothrow_vector {
  public:
    nothrow_vector() noexcept = default;
    nothrow_vector(const nothrow_vector&) = delete;
    nothrow_vector& operator=(const nothrow_vector&) = delete;
    nothrow_vector(nothrow_vector&& other) noexcept { swap(other); }
    nothrow_vector& operator=(nothrow_vector&& other) noexcept {
        if (this != &other) {
            clear();
            std::free(m_items);
            m_items = nullptr;
            m_capacity = 0;
            swap(other);
        }
        return *this;
    }
    ~nothrow_vector() {
        clear();
        std::free(m_items);
    }

    size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    T* begin() noexcept { return m_items; }
    T* end() noexcept { return m_items + m_size; }
    const T* begin() const noexcept { return m_items; }
    const T* end() const noexcept { return m_items + m_size; }
    T& operator[](size_t index) noexcept { return m_items[index]; }
    const T& operator[](size_t index) const noexcept { return m_items[index]; }
    T& back() noexcept { return m_items[m_size - 1]; }
    const T& back() const noexcept { return m_items[m_size - 1]; }

    // Room for at least `count` elements without another allocation.
    [[nodiscard]] HRESULT reserve(size_t count) noexcept {
        static_assert(std::is_nothrow_move_constructible<T>::value,
                      "elements must move without throwing");
        if (count <= m_capacity) return S_OK;
        if (count > static_cast<size_t>(-1) / 2 / sizeof(T)) return E_OUTOFMEMORY;
        void* memory = std::malloc(count * sizeof(T));
        if (!memory) return E_OUTOFMEMORY;
        T* items = static_cast<T*>(memory);
        for (size_t i = 0; i < m_size; ++i) {
            new (items + i) T(std::move(m_items[i]));
            m_items[i].~T();
        }
        std::free(m_items);
        m_items = items;
        m_capacity = count;
        return S_OK;
    }

    // The element is moved in only when there is room for it.
    [[nodiscard]] HRESULT push_back(T&& item) noexcept {
        const HRESULT hr = Grow();
        if (FAILED(hr)) return hr;
        new (m_items + m_size) T(std::move(item));
        ++m_size;
        return S_OK;
    }
    // For elements whose copy needs no memory.
    [[nodiscard]] HRESULT push_back(const T& item) noexcept {
        static_assert(std::is_nothrow_copy_constructible<T>::value,
                      "push a copy only of elements that copy without throwing");
        const HRESULT hr = Grow();
        if (FAILED(hr)) return hr;
        new (m_items + m_size) T(item);
        ++m_size;
        return S_OK;
    }

    void pop_back() noexcept { m_items[--m_size].~T(); }
    // Removes one element; those after it move up.
    void erase(T* item) noexcept {
        for (T* next = item + 1; next != end(); ++item, ++next) *item = std::move(*next);
        pop_back();
    }
    // Keeps the memory for the next elements.
    void clear() noexcept {
        while (m_size > 0) pop_back();
    }
    void swap(nothrow_vector& other) noexcept {
        std::swap(m_items, other.m_items);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
    }

  private:
    HRESULT Grow() noexcept {
        if (m_size < m_capacity) return S_OK;
        return reserve(m_capacity < 4 ? 4 : m_capacity + m_capacity / 2);
    }

    T* m_items = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

}  // namespace zrv
