#pragma once
// CString: the module's UTF-16 text type.
//
// Copies share one reference-counted buffer and the first write unshares it
// (copy on write). The counts are atomic because the folder-size worker copies
// strings on its own thread; a single CString object is still not meant to be
// used from two threads at once. Every empty string points at one static
// empty buffer, so empty strings never allocate.
//
// Failures raise CAtlException: E_OUTOFMEMORY when memory runs out,
// E_INVALIDARG for a bad argument (an index out of range, a format the
// formatter rejects).

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
    // Copies up to the first NUL; a null pointer gives the empty string.
    CString(const wchar_t* text);
    // Copies exactly `length` characters, embedded NULs included.
    CString(const wchar_t* text, int length);
    ~CString();

    CString& operator=(const CString& other) noexcept;
    CString& operator=(CString&& other) noexcept;
    // Copies up to the first NUL; a null pointer gives the empty string. The
    // text may point into this string's own buffer.
    CString& operator=(const wchar_t* text);

    // Attributes
    int GetLength() const noexcept;
    bool IsEmpty() const noexcept { return GetLength() == 0; }
    const wchar_t* GetString() const noexcept { return m_text; }
    operator const wchar_t*() const noexcept { return m_text; }
    // Index GetLength() reads the terminator; beyond it raises E_INVALIDARG.
    wchar_t GetAt(int index) const;
    wchar_t operator[](int index) const { return GetAt(index); }
    // Any integer index picks this member rather than the built-in pointer
    // subscript reached through the conversion above.
    template <typename Int, std::enable_if_t<std::is_integral<Int>::value, int> = 0>
    wchar_t operator[](Int index) const {
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
    // minLength characters and a terminator, keeping the current text. The
    // length is settled by ReleaseBuffer: newLength, or up to the first NUL
    // when it is -1. Copies taken while the buffer is out see the old length.
    wchar_t* GetBuffer(int minLength = 0);
    void ReleaseBuffer(int newLength = -1);
    // GetBuffer, with the length set to `length` at once.
    wchar_t* GetBufferSetLength(int length);

    CString& operator+=(const wchar_t* text);
    CString& operator+=(wchar_t ch);
    CString& operator+=(const CString& other);

    // Whitespace as iswspace sees it.
    CString& Trim();

    // Index of the first match at or after `start`, or -1. A negative start
    // searches from the beginning.
    int Find(wchar_t ch, int start = 0) const noexcept;

    // Counts and positions are clamped to the text.
    CString Mid(int first) const;
    CString Mid(int first, int count) const;

    // Loads a string-table entry of zrv::ResourceInstance(). A missing entry
    // leaves the string empty and answers false.
    bool LoadString(UINT id);
    // LoadString, then the product's translation when one is available.
    bool LoadLocalizedString(UINT id);

    // Wide printf of the C runtime, with its %I64 size prefix and %s taking a
    // wide string. A null format or one the formatter rejects raises
    // E_INVALIDARG and leaves the string unchanged.
    template <typename... Args>
    void Format(const wchar_t* format, const Args&... args) {
        // The compiler passes class objects through "..." by hidden reference,
        // so a CString given for %s would print its address bytes.
        static_assert(!std::disjunction<std::is_class<Args>...>::value,
                      "pass texts to Format as const wchar_t* (GetString()), not as objects");
        FormatArgs(format, args...);
    }

  private:
    using Data = zrv::detail::CStringData;

    Data* GetData() const noexcept;
    // Drops this string's share of its buffer and adopts `data`, whose
    // reference the caller hands over.
    void Attach(Data* data) noexcept;
    void SetString(const wchar_t* text, int length);
    void Append(const wchar_t* text, int length);
    // Makes the buffer unshared with room for `capacity` characters.
    void PrepareWrite(int capacity);
    void FormatArgs(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);

    wchar_t* m_text;  // characters of a Data block, always NUL-terminated
};

CString operator+(const CString& left, const CString& right);
CString operator+(const CString& left, const wchar_t* right);
CString operator+(const wchar_t* left, const CString& right);
CString operator+(const CString& left, wchar_t right);

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
