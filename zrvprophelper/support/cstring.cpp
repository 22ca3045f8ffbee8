#include "cstring.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <new>
#include <utility>

#include "support/exceptions.h"
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

Data* Allocate(int capacity) {
    if (capacity < 0 || capacity > kMaxCapacity) AtlThrow(E_OUTOFMEMORY);
    void* memory =
        std::malloc(sizeof(Data) + (static_cast<size_t>(capacity) + 1) * sizeof(wchar_t));
    if (!memory) AtlThrow(E_OUTOFMEMORY);
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

int CheckedLength(size_t length) {
    if (length > static_cast<size_t>(kMaxCapacity)) AtlThrow(E_OUTOFMEMORY);
    return static_cast<int>(length);
}

int Compare(const wchar_t* left, int leftLength, const wchar_t* right, int rightLength) noexcept {
    const int common = leftLength < rightLength ? leftLength : rightLength;
    for (int i = 0; i < common; ++i) {
        if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
    }
    return leftLength == rightLength ? 0 : (leftLength < rightLength ? -1 : 1);
}

int LengthOf(const wchar_t* text) noexcept {
    return text ? static_cast<int>(std::wcslen(text)) : 0;
}

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

CString::CString(const wchar_t* text) : m_text(g_nil.text) { SetString(text, LengthOf(text)); }

CString::CString(const wchar_t* text, int length) : m_text(g_nil.text) {
    if (length < 0 || (!text && length > 0)) AtlThrow(E_INVALIDARG);
    SetString(text, length);
}

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

CString& CString::operator=(const wchar_t* text) {
    SetString(text, LengthOf(text));
    return *this;
}

Data* CString::GetData() const noexcept { return reinterpret_cast<Data*>(m_text) - 1; }

void CString::Attach(Data* data) noexcept {
    Release(GetData());
    m_text = data->text();
}

int CString::GetLength() const noexcept { return GetData()->length; }

wchar_t CString::GetAt(int index) const {
    if (index < 0 || index > GetLength()) AtlThrow(E_INVALIDARG);
    return m_text[index];
}

const void* CString::BufferId() const noexcept { return GetData(); }

int CString::GetAllocLength() const noexcept { return GetData()->capacity; }

void CString::Empty() noexcept {
    Release(GetData());
    m_text = g_nil.text;
}

void CString::SetString(const wchar_t* text, int length) {
    if (length == 0) {
        Empty();
        return;
    }
    Data* data = GetData();
    if (data != Nil() && !IsShared(data) && data->capacity >= length) {
        // The text may lie inside this very buffer.
        std::wmemmove(m_text, text, length);
    } else {
        // Copy before the old buffer goes, for the same reason.
        data = Allocate(length);
        std::wmemcpy(data->text(), text, length);
        Attach(data);
    }
    GetData()->length = length;
    m_text[length] = L'\0';
}

void CString::Append(const wchar_t* text, int length) {
    if (length <= 0) return;
    const int oldLength = GetLength();
    if (length > kMaxCapacity - oldLength) AtlThrow(E_OUTOFMEMORY);
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
        std::wmemcpy(fresh->text(), m_text, oldLength);
        std::wmemcpy(fresh->text() + oldLength, text, length);
        Attach(fresh);
    }
    GetData()->length = newLength;
    m_text[newLength] = L'\0';
}

void CString::PrepareWrite(int capacity) {
    Data* data = GetData();
    if (data != Nil() && !IsShared(data) && data->capacity >= capacity) return;
    const int length = data->length;
    Data* fresh = Allocate(capacity > length ? capacity : length);
    std::wmemcpy(fresh->text(), m_text, length + 1);
    fresh->length = length;
    Attach(fresh);
}

wchar_t* CString::GetBuffer(int minLength) {
    if (minLength < 0) AtlThrow(E_INVALIDARG);
    PrepareWrite(minLength);
    return m_text;
}

void CString::ReleaseBuffer(int newLength) {
    Data* data = GetData();
    if (newLength == -1) {
        newLength = static_cast<int>(::wcsnlen(m_text, data->capacity));
    } else if (newLength < 0 || newLength > data->capacity) {
        AtlThrow(E_INVALIDARG);
    }
    // Settles the length in place when the buffer is ours, and returns an
    // emptied string to the shared empty buffer.
    SetString(m_text, newLength);
}

wchar_t* CString::GetBufferSetLength(int length) {
    wchar_t* buffer = GetBuffer(length);
    GetData()->length = length;
    buffer[length] = L'\0';
    return buffer;
}

CString& CString::operator+=(const wchar_t* text) {
    Append(text, CheckedLength(text ? std::wcslen(text) : 0));
    return *this;
}

CString& CString::operator+=(wchar_t ch) {
    Append(&ch, 1);
    return *this;
}

CString& CString::operator+=(const CString& other) {
    if (IsEmpty()) return *this = other;
    Append(other.m_text, other.GetLength());
    return *this;
}

CString& CString::Trim() {
    int end = GetLength();
    while (end > 0 && std::iswspace(m_text[end - 1])) --end;
    int first = 0;
    while (first < end && std::iswspace(m_text[first])) ++first;
    // Text with nothing to trim keeps its (possibly shared) buffer.
    if (first > 0 || end < GetLength()) SetString(m_text + first, end - first);
    return *this;
}

int CString::Find(wchar_t ch, int start) const noexcept {
    const int length = GetLength();
    if (start < 0) start = 0;
    if (start >= length) return -1;
    const wchar_t* hit = std::wmemchr(m_text + start, ch, length - start);
    return hit ? static_cast<int>(hit - m_text) : -1;
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    const int length = GetLength();
    if (first < 0) first = 0;
    if (count < 0) count = 0;
    if (first >= length || count == 0) return CString();
    if (count > length - first) count = length - first;
    if (first == 0 && count == length) return *this;
    return CString(m_text + first, count);
}

bool CString::LoadString(UINT id) {
    const HINSTANCE instance = zrv::ResourceInstance();
    CString loaded;
    int length = 0;
    // LoadStringW truncates silently; a full buffer means the entry may be
    // longer, so read again with more room. Entries hold at most 65535
    // characters, which bounds the loop.
    for (int size = 256;; size += 256) {
        wchar_t* buffer = loaded.GetBuffer(size - 1);
        length = ::LoadStringW(instance, id, buffer, size);
        if (length < size - 1) break;
    }
    loaded.ReleaseBuffer(length > 0 ? length : 0);
    *this = std::move(loaded);
    return length > 0;
}

void CString::FormatArgs(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    try {
        FormatV(format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void CString::FormatV(const wchar_t* format, va_list args) {
    if (!format || !IsAcceptedFormat(format)) AtlThrow(E_INVALIDARG);

    va_list counting;
    va_copy(counting, args);
    const int length = _vscwprintf(format, counting);
    va_end(counting);
    if (length < 0) AtlThrow(E_INVALIDARG);

    // Formatted apart from this string: an argument may point into it.
    CString result;
    if (length > 0) {
        wchar_t* buffer = result.GetBuffer(length);
        va_list writing;
        va_copy(writing, args);
        const int written = vswprintf_s(buffer, static_cast<size_t>(length) + 1, format, writing);
        va_end(writing);
        // The buffer was sized by the same runtime, so a failure here is the
        // formatter refusing the format.
        if (written < 0) AtlThrow(E_INVALIDARG);
        result.ReleaseBuffer(written);
    }
    *this = std::move(result);
}

CString operator+(const CString& left, const CString& right) {
    CString result(left);
    result += right;
    return result;
}

CString operator+(const CString& left, const wchar_t* right) {
    CString result(left);
    result += right;
    return result;
}

CString operator+(const wchar_t* left, const CString& right) {
    CString result(left);
    result += right;
    return result;
}

CString operator+(const CString& left, wchar_t right) {
    CString result(left);
    result += right;
    return result;
}

bool operator==(const CString& left, const CString& right) noexcept {
    return Compare(left, left.GetLength(), right, right.GetLength()) == 0;
}
bool operator==(const CString& left, const wchar_t* right) noexcept {
    return Compare(left, left.GetLength(), right, LengthOf(right)) == 0;
}
bool operator==(const wchar_t* left, const CString& right) noexcept { return right == left; }
bool operator!=(const CString& left, const CString& right) noexcept { return !(left == right); }
bool operator!=(const CString& left, const wchar_t* right) noexcept { return !(left == right); }
bool operator!=(const wchar_t* left, const CString& right) noexcept { return !(right == left); }
bool operator<(const CString& left, const CString& right) noexcept {
    return Compare(left, left.GetLength(), right, right.GetLength()) < 0;
}
bool operator<(const CString& left, const wchar_t* right) noexcept {
    return Compare(left, left.GetLength(), right, LengthOf(right)) < 0;
}
bool operator<(const wchar_t* left, const CString& right) noexcept {
    return Compare(left, LengthOf(left), right, right.GetLength()) < 0;
}
