#include "cstring.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <new>
#include <utility>

#include "support/module_instance.h"

namespace zrv {
namespace detail {

// Header of a string buffer; the characters and their terminator follow it
// directly in the same allocation.
struct CStringData {
    std::atomic<long> refs;
    int length;
    int capacity;  // characters, not counting the terminator

    wchar_t* text() noexcept { return reinterpret_cast<wchar_t*>(this + 1); }
};

}  // namespace detail
}  // namespace zrv

namespace {

using Data = zrv::detail::CStringData;

// The one buffer of every empty string. Its count is never touched and it is
// never written: writers get a buffer of their own first. Constant-initialised,
// so it is ready before any static CString is constructed.
struct NilBlock {
    Data header;
    wchar_t text[1];
};
static_assert(sizeof(Data) % alignof(wchar_t) == 0, "text must follow the header directly");
NilBlock g_nil = {{{1}, 0, 0}, {L'\0'}};

Data* Nil() noexcept { return &g_nil.header; }

// Keeps the byte size of a block within int range.
constexpr int kMaxCapacity = (INT_MAX - static_cast<int>(sizeof(Data))) / 2 - 1;

// Null when the block cannot be had.
Data* Allocate(int capacity) noexcept {
    if (capacity < 0 || capacity > kMaxCapacity) return nullptr;
    void* memory =
        std::malloc(sizeof(Data) + (static_cast<size_t>(capacity) + 1) * sizeof(wchar_t));
    if (!memory) return nullptr;
    Data* data = new (memory) Data{{1}, 0, capacity};
    data->text()[0] = L'\0';
    return data;
}

void AddRef(Data* data) noexcept {
    if (data != Nil()) data->refs.fetch_add(1, std::memory_order_relaxed);
}

void Release(Data* data) noexcept {
    if (data != Nil() && data->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        data->~Data();
        std::free(data);
    }
}

bool IsShared(const Data* data) noexcept { return data->refs.load(std::memory_order_acquire) > 1; }

int Compare(const wchar_t* left, size_t leftLength, const wchar_t* right,
            size_t rightLength) noexcept {
    const size_t common = leftLength < rightLength ? leftLength : rightLength;
    for (size_t i = 0; i < common; ++i) {
        if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
    }
    return leftLength == rightLength ? 0 : (leftLength < rightLength ? -1 : 1);
}

// The length of a text up to its NUL; -1 for one too long for any string.
int LengthOf(const wchar_t* text) noexcept {
    const size_t length = text ? std::wcslen(text) : 0;
    return length > static_cast<size_t>(kMaxCapacity) ? -1 : static_cast<int>(length);
}

// The length of a text given to a comparison, which any length may have.
size_t CompareLength(const wchar_t* text) noexcept { return text ? std::wcslen(text) : 0; }

// Skips a width or precision: '*' or decimal digits. False when the number
// does not fit an int.
bool SkipFieldNumber(const wchar_t*& p) noexcept {
    if (*p == L'*') {
        ++p;
        return true;
    }
    long long value = 0;
    while (*p >= L'0' && *p <= L'9') {
        value = value * 10 + (*p - L'0');
        if (value > INT_MAX) return false;
        ++p;
    }
    return true;
}

bool IsOneOf(wchar_t ch, const wchar_t* set) noexcept {
    return ch != L'\0' && std::wcschr(set, ch) != nullptr;
}

// The runtime's secure formatters report a malformed conversion through the
// invalid-parameter handler, which ends the process unless a handler is
// installed, and that handler is process-wide state shared with the host.
// So conversions are checked here first, accepting only what every runtime
// we run on formats the same way:
//   %[flags][width][.precision][h|l|ll|w|I|I32|I64]type
// %n is refused: it writes through its argument.
bool IsAcceptedFormat(const wchar_t* format) noexcept {
    for (const wchar_t* p = format; *p; ++p) {
        if (*p != L'%') continue;
        ++p;
        if (*p == L'%') continue;
        while (IsOneOf(*p, L"-+ #0")) ++p;
        if (!SkipFieldNumber(p)) return false;
        if (*p == L'.') {
            ++p;
            if (!SkipFieldNumber(p)) return false;
        }
        switch (*p) {
            case L'h':
            case L'w':
                ++p;
                break;
            case L'l':
                ++p;
                if (*p == L'l') ++p;
                break;
            case L'I':
                ++p;
                if ((p[0] == L'6' && p[1] == L'4') || (p[0] == L'3' && p[1] == L'2')) {
                    p += 2;
                } else if (!IsOneOf(*p, L"diouxX")) {
                    return false;
                }
                break;
            default:
                break;
        }
        if (!IsOneOf(*p, L"cCdiouxXeEfgGpsS")) return false;
    }
    return true;
}

}  // namespace

CString::CString() noexcept : m_text(g_nil.text) {}

CString::CString(const CString& other) noexcept : m_text(other.m_text) { AddRef(GetData()); }

CString::CString(CString&& other) noexcept : m_text(std::exchange(other.m_text, g_nil.text)) {}

CString::~CString() { Release(GetData()); }

CString& CString::operator=(const CString& other) noexcept {
    Data* data = other.GetData();
    AddRef(data);
    Attach(data);
    return *this;
}

CString& CString::operator=(CString&& other) noexcept {
    if (this != &other) {
        Release(GetData());
        m_text = std::exchange(other.m_text, g_nil.text);
    }
    return *this;
}

HRESULT CString::SetString(const wchar_t* text) noexcept {
    const int length = LengthOf(text);
    if (length < 0) return E_OUTOFMEMORY;
    return SetString(text, length);
}

Data* CString::GetData() const noexcept { return reinterpret_cast<Data*>(m_text) - 1; }

void CString::Attach(Data* data) noexcept {
    Release(GetData());
    m_text = data->text();
}

int CString::GetLength() const noexcept { return GetData()->length; }

wchar_t CString::GetAt(int index) const noexcept {
    if (index < 0 || index > GetLength()) return L'\0';
    return m_text[index];
}

const void* CString::BufferId() const noexcept { return GetData(); }

int CString::GetAllocLength() const noexcept { return GetData()->capacity; }

void CString::Empty() noexcept {
    Release(GetData());
    m_text = g_nil.text;
}

HRESULT CString::SetString(const wchar_t* text, int length) noexcept {
    if (length < 0 || (!text && length > 0)) return E_INVALIDARG;
    if (length == 0) {
        Empty();
        return S_OK;
    }
    Data* data = GetData();
    if (data != Nil() && !IsShared(data) && data->capacity >= length) {
        // The text may lie inside this very buffer.
        std::wmemmove(m_text, text, length);
    } else {
        // Copy before the old buffer goes, for the same reason.
        data = Allocate(length);
        if (!data) return E_OUTOFMEMORY;
        std::wmemcpy(data->text(), text, length);
        Attach(data);
    }
    GetData()->length = length;
    m_text[length] = L'\0';
    return S_OK;
}

HRESULT CString::Append(const wchar_t* text, int length) noexcept {
    if (length < 0 || (!text && length > 0)) return E_INVALIDARG;
    if (length == 0) return S_OK;
    const int oldLength = GetLength();
    if (length > kMaxCapacity - oldLength) return E_OUTOFMEMORY;
    const int newLength = oldLength + length;
    Data* data = GetData();
    if (data != Nil() && !IsShared(data) && data->capacity >= newLength) {
        std::wmemmove(m_text + oldLength, text, length);
    } else {
        // The new size comes from the length needed, never from the old
        // buffer's capacity: a copy extended again and again (path + "\\" +
        // name at every level of a walk) would otherwise multiply it. Only a
        // buffer this string owns alone gets room to spare, so that repeated
        // appends to it stay linear; a shared one is being copied anyway.
        int capacity = newLength;
        if (data != Nil() && !IsShared(data) && newLength < kMaxCapacity - newLength / 2) {
            capacity = newLength + newLength / 2;
        }
        Data* fresh = Allocate(capacity);
        if (!fresh) return E_OUTOFMEMORY;
        std::wmemcpy(fresh->text(), m_text, oldLength);
        std::wmemcpy(fresh->text() + oldLength, text, length);
        Attach(fresh);
    }
    GetData()->length = newLength;
    m_text[newLength] = L'\0';
    return S_OK;
}

HRESULT CString::PrepareWrite(int capacity) noexcept {
    Data* data = GetData();
    if (data != Nil() && !IsShared(data) && data->capacity >= capacity) return S_OK;
    const int length = data->length;
    Data* fresh = Allocate(capacity > length ? capacity : length);
    if (!fresh) return E_OUTOFMEMORY;
    std::wmemcpy(fresh->text(), m_text, length + 1);
    fresh->length = length;
    Attach(fresh);
    return S_OK;
}

wchar_t* CString::GetBuffer(int minLength) noexcept {
    if (minLength < 0 || FAILED(PrepareWrite(minLength))) return nullptr;
    return m_text;
}

HRESULT CString::ReleaseBuffer(int newLength) noexcept {
    Data* data = GetData();
    if (newLength < 0 || newLength > data->capacity) {
        newLength = static_cast<int>(::wcsnlen(m_text, data->capacity));
    }
    // Settles the length in place when the buffer is ours, and returns an
    // emptied string to the shared empty buffer.
    return SetString(m_text, newLength);
}

wchar_t* CString::GetBufferSetLength(int length) noexcept {
    wchar_t* buffer = GetBuffer(length);
    if (!buffer) return nullptr;
    GetData()->length = length;
    buffer[length] = L'\0';
    return buffer;
}

HRESULT CString::Truncate(int length) noexcept {
    if (length < 0) length = 0;
    if (length >= GetLength()) return S_OK;
    return SetString(m_text, length);
}

HRESULT CString::Append(const wchar_t* text) noexcept {
    const int length = LengthOf(text);
    if (length < 0) return E_OUTOFMEMORY;
    return Append(text, length);
}

HRESULT CString::Append(wchar_t ch) noexcept { return Append(&ch, 1); }

HRESULT CString::Append(const CString& other) noexcept {
    if (IsEmpty()) {
        *this = other;
        return S_OK;
    }
    return Append(other.m_text, other.GetLength());
}

HRESULT CString::Trim() noexcept {
    int end = GetLength();
    while (end > 0 && std::iswspace(m_text[end - 1])) --end;
    int first = 0;
    while (first < end && std::iswspace(m_text[first])) ++first;
    // Text with nothing to trim keeps its (possibly shared) buffer.
    if (first == 0 && end == GetLength()) return S_OK;
    return SetString(m_text + first, end - first);
}

int CString::Find(wchar_t ch, int start) const noexcept {
    const int length = GetLength();
    if (start < 0) start = 0;
    if (start >= length) return -1;
    const wchar_t* hit = std::wmemchr(m_text + start, ch, length - start);
    return hit ? static_cast<int>(hit - m_text) : -1;
}

HRESULT CString::Mid(int first, CString& part) const noexcept {
    return Mid(first, GetLength(), part);
}

HRESULT CString::Mid(int first, int count, CString& part) const noexcept {
    const int length = GetLength();
    if (first < 0) first = 0;
    if (count < 0) count = 0;
    if (first >= length || count == 0) {
        part.Empty();
        return S_OK;
    }
    if (count > length - first) count = length - first;
    if (first == 0 && count == length) {
        part = *this;
        return S_OK;
    }
    // Made apart: part may be this very string.
    CString made;
    const HRESULT hr = made.SetString(m_text + first, count);
    if (FAILED(hr)) return hr;
    part = std::move(made);
    return S_OK;
}

HRESULT CString::LoadString(UINT id) noexcept {
    const HINSTANCE instance = zrv::ResourceInstance();
    CString loaded;
    int length = 0;
    // LoadStringW truncates silently; a full buffer means the entry may be
    // longer, so read again with more room. Entries hold at most 65535
    // characters, which bounds the loop.
    for (int size = 256;; size += 256) {
        wchar_t* buffer = loaded.GetBuffer(size - 1);
        if (!buffer) return E_OUTOFMEMORY;
        length = ::LoadStringW(instance, id, buffer, size);
        if (length < size - 1) break;
    }
    // Settled in the buffer that is the loaded string's alone.
    const HRESULT hr = loaded.ReleaseBuffer(length > 0 ? length : 0);
    if (FAILED(hr)) return hr;
    *this = std::move(loaded);
    return length > 0 ? S_OK : S_FALSE;
}

HRESULT CString::FormatArgs(const wchar_t* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    const HRESULT hr = FormatV(format, args);
    va_end(args);
    return hr;
}

HRESULT CString::FormatV(const wchar_t* format, va_list args) noexcept {
    if (!format || !IsAcceptedFormat(format)) return E_INVALIDARG;

    va_list counting;
    va_copy(counting, args);
    const int length = _vscwprintf(format, counting);
    va_end(counting);
    if (length < 0) return E_INVALIDARG;

    // Formatted apart from this string: an argument may point into it.
    CString result;
    if (length > 0) {
        wchar_t* buffer = result.GetBuffer(length);
        if (!buffer) return E_OUTOFMEMORY;
        va_list writing;
        va_copy(writing, args);
        const int written = vswprintf_s(buffer, static_cast<size_t>(length) + 1, format, writing);
        va_end(writing);
        // The buffer was sized by the same runtime, so a failure here is the
        // formatter refusing the format.
        if (written < 0) return E_INVALIDARG;
        const HRESULT hr = result.ReleaseBuffer(written);
        if (FAILED(hr)) return hr;
    }
    *this = std::move(result);
    return S_OK;
}

bool operator==(const CString& left, const CString& right) noexcept {
    return Compare(left, left.GetLength(), right, right.GetLength()) == 0;
}
bool operator==(const CString& left, const wchar_t* right) noexcept {
    return Compare(left, left.GetLength(), right, CompareLength(right)) == 0;
}
bool operator==(const wchar_t* left, const CString& right) noexcept { return right == left; }
bool operator!=(const CString& left, const CString& right) noexcept { return !(left == right); }
bool operator!=(const CString& left, const wchar_t* right) noexcept { return !(left == right); }
bool operator!=(const wchar_t* left, const CString& right) noexcept { return !(right == left); }
bool operator<(const CString& left, const CString& right) noexcept {
    return Compare(left, left.GetLength(), right, right.GetLength()) < 0;
}
bool operator<(const CString& left, const wchar_t* right) noexcept {
    return Compare(left, left.GetLength(), right, CompareLength(right)) < 0;
}
bool operator<(const wchar_t* left, const CString& right) noexcept {
    return Compare(left, CompareLength(left), right, right.GetLength()) < 0;
}
