#pragma once
// CString: the module's UTF-16 text type.
//
// Copies share one reference-counted buffer and the first write unshares it
// (copy on write). The counts are atomic because the folder-size worker copies
// strings on its own thread; a single CString object is still not meant to be
// used from two threads at once. Every empty string points at one static
// empty buffer, so empty strings never allocate.
//
// Nothing here raises an exception: what needs memory answers E_OUTOFMEMORY
// (or gives a null buffer) and leaves the string as it was, and a bad
// argument (a negative length, a format the formatter rejects) answers
// E_INVALIDARG. The module reports every failure by its result; a host's
// memory may be gone for good, and nothing the runtime would need to raise
// an exception then may be asked for.

#include <windows.h>
#include <oleauto.h>
#include <climits>
#include <cstdarg>
#include <type_traits>

namespace zrv {
namespace detail {
struct CStringData;
}
}  // namespace zrv

class CString {
  public:
    CString() noexcept;
    CString(const CString& other) noexcept;
    CString(CString&& other) noexcept;
    ~CString();

    CString& operator=(const CString& other) noexcept;
    CString& operator=(CString&& other) noexcept;

    // Up to the first NUL; a null pointer gives the empty string. The text
    // may point into this string's own buffer.
    [[nodiscard]] HRESULT SetString(const wchar_t* text) noexcept;
    // Exactly `length` characters, embedded NULs included.
    [[nodiscard]] HRESULT SetString(const wchar_t* text, int length) noexcept;

    // Attributes
    int GetLength() const noexcept;
    bool IsEmpty() const noexcept { return GetLength() == 0; }
    const wchar_t* GetString() const noexcept { return m_text; }
    operator const wchar_t*() const noexcept { return m_text; }
    // Index GetLength() reads the terminator, and so does any index beyond
    // the text: nothing is there.
    wchar_t GetAt(int index) const noexcept;
    wchar_t operator[](int index) const noexcept { return GetAt(index); }
    // Any integer index picks this member rather than the built-in pointer
    // subscript reached through the conversion above.
    template <typename Int, std::enable_if_t<std::is_integral<Int>::value, int> = 0>
    wchar_t operator[](Int index) const noexcept {
        if constexpr (std::is_signed<Int>::value) {
            if (index < 0) return GetAt(-1);
        }
        // Beyond int range is out of range for any string.
        if (static_cast<unsigned long long>(index) > INT_MAX) return GetAt(-1);
        return GetAt(static_cast<int>(index));
    }

    // Test hook: the address of the buffer this string uses, to observe
    // sharing.
    const void* BufferId() const noexcept;
    // Test hook: characters the buffer holds without growing, terminator not
    // counted, to observe how appending grows it.
    int GetAllocLength() const noexcept;

    // Operations
    void Empty() noexcept;

    // Returns a buffer owned by this string alone with room for at least
    // minLength characters and a terminator, keeping the current text; null
    // when there is no memory for it or minLength is negative. The length is
    // settled by ReleaseBuffer: newLength, or up to the first NUL when it is
    // -1 (or beyond the buffer). Copies taken while the buffer is out see the
    // old length, and settling it then needs a buffer of its own.
    [[nodiscard]] wchar_t* GetBuffer(int minLength = 0) noexcept;
    [[nodiscard]] HRESULT ReleaseBuffer(int newLength = -1) noexcept;
    // GetBuffer, with the length set to `length` at once.
    [[nodiscard]] wchar_t* GetBufferSetLength(int length) noexcept;
    // Keeps the first `length` characters (all of them when there are fewer).
    [[nodiscard]] HRESULT Truncate(int length) noexcept;

    [[nodiscard]] HRESULT Append(const wchar_t* text) noexcept;
    [[nodiscard]] HRESULT Append(const wchar_t* text, int length) noexcept;
    [[nodiscard]] HRESULT Append(wchar_t ch) noexcept;
    [[nodiscard]] HRESULT Append(const CString& other) noexcept;

    // Whitespace as iswspace sees it.
    [[nodiscard]] HRESULT Trim() noexcept;

    // Index of the first match at or after `start`, or -1. A negative start
    // searches from the beginning.
    int Find(wchar_t ch, int start = 0) const noexcept;

    // The part from `first` on, `count` characters at most, into part.
    // Counts and positions are clamped to the text.
    [[nodiscard]] HRESULT Mid(int first, CString& part) const noexcept;
    [[nodiscard]] HRESULT Mid(int first, int count, CString& part) const noexcept;

    // Loads a string-table entry of zrv::ResourceInstance(): S_OK, or
    // S_FALSE with the string empty when there is no such entry.
    [[nodiscard]] HRESULT LoadString(UINT id) noexcept;
    // LoadString, then the product's translation when one is available: S_OK
    // when either gave a text, else S_FALSE with the string empty. Without
    // memory for the translation's request the entry's own text stays.
    [[nodiscard]] HRESULT LoadLocalizedString(UINT id) noexcept;

    // Wide printf of the C runtime, with its %I64 size prefix and %s taking a
    // wide string. A null format or one the formatter rejects answers
    // E_INVALIDARG; on any failure the string is left unchanged.
    template <typename... Args>
    [[nodiscard]] HRESULT Format(const wchar_t* format, const Args&... args) noexcept {
        // The compiler passes class objects through "..." by hidden reference,
        // so a CString given for %s would print its address bytes.
        static_assert(!std::disjunction<std::is_class<Args>...>::value,
                      "pass texts to Format as const wchar_t* (GetString()), not as objects");
        return FormatArgs(format, args...);
    }

  private:
    using Data = zrv::detail::CStringData;

    Data* GetData() const noexcept;
    // Drops this string's share of its buffer and adopts `data`, whose
    // reference the caller hands over.
    void Attach(Data* data) noexcept;
    // Makes the buffer unshared with room for `capacity` characters.
    HRESULT PrepareWrite(int capacity) noexcept;
    HRESULT FormatArgs(const wchar_t* format, ...) noexcept;
    HRESULT FormatV(const wchar_t* format, va_list args) noexcept;

    wchar_t* m_text;  // characters of a Data block, always NUL-terminated
};

// Ordering by UTF-16 code unit. A null pointer compares as the empty string.
bool operator==(const CString& left, const CString& right) noexcept;
bool operator==(const CString& left, const wchar_t* right) noexcept;
bool operator==(const wchar_t* left, const CString& right) noexcept;
bool operator!=(const CString& left, const CString& right) noexcept;
bool operator!=(const CString& left, const wchar_t* right) noexcept;
bool operator!=(const wchar_t* left, const CString& right) noexcept;
bool operator<(const CString& left, const CString& right) noexcept;
bool operator<(const CString& left, const wchar_t* right) noexcept;
bool operator<(const wchar_t* left, const CString& right) noexcept;
