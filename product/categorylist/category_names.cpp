#include "category_names.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <unordered_set>

namespace zrvcatlist {
namespace {

class NameCollector {
  public:
    // Adds the names of [begin, end), separated by ';'.
    void AddList(const wchar_t* begin, const wchar_t* end) {
        const wchar_t* piece = begin;
        for (const wchar_t* p = begin;; ++p) {
            if (p == end || *p == L';') {
                AddName(piece, p);
                if (p == end) break;
                piece = p + 1;
            }
        }
    }

    std::vector<std::wstring> Take() { return std::move(m_names); }

  private:
    void AddName(const wchar_t* begin, const wchar_t* end) {
        while (begin != end && std::iswspace(*begin)) ++begin;
        while (end != begin && std::iswspace(end[-1])) --end;
        if (begin == end) return;
        std::wstring name(begin, end);
        if (m_seen.insert(name).second) m_names.push_back(std::move(name));
    }

    std::vector<std::wstring> m_names;
    std::unordered_set<std::wstring> m_seen;
};

bool IsLineBreak(wchar_t c) { return c == L'\r' || c == L'\n' || c == L'\0'; }

std::wstring FromCodePage(UINT codePage, DWORD flags, const char* bytes, size_t size) {
    if (size == 0) return std::wstring();
    const int count = static_cast<int>(size);
    const int length = ::MultiByteToWideChar(codePage, flags, bytes, count, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, flags, bytes, count, &text[0], length);
    return text;
}

std::wstring FromUtf16(const char* bytes, size_t size, bool bigEndian) {
    std::wstring text(size / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char first = static_cast<unsigned char>(bytes[2 * i]);
        const unsigned char second = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = bigEndian ? static_cast<wchar_t>(first << 8 | second)
                            : static_cast<wchar_t>(second << 8 | first);
    }
    return text;
}

}  // namespace

std::vector<std::wstring> SplitCategoryText(const wchar_t* text) {
    NameCollector names;
    if (text) names.AddList(text, text + wcslen(text));
    return names.Take();
}

std::vector<std::wstring> ParseCatalogue(const std::wstring& text) {
    NameCollector names;
    const wchar_t* const end = text.data() + text.size();
    const wchar_t* line = text.data();
    for (const wchar_t* p = line;; ++p) {
        if (p == end || IsLineBreak(*p)) {
            names.AddList(line, p);
            if (p == end) break;
            line = p + 1;
        }
    }
    return names.Take();
}

std::wstring DecodeTextFile(const std::string& bytes) {
    const char* data = bytes.data();
    const size_t size = bytes.size();
    auto startsWith = [&](const char* mark, size_t length) {
        return size >= length && bytes.compare(0, length, mark, length) == 0;
    };
    if (startsWith("\xFF\xFE", 2)) return FromUtf16(data + 2, size - 2, false);
    if (startsWith("\xFE\xFF", 2)) return FromUtf16(data + 2, size - 2, true);
    if (startsWith("\xEF\xBB\xBF", 3)) return FromCodePage(CP_UTF8, 0, data + 3, size - 3);
    std::wstring text = FromCodePage(CP_UTF8, MB_ERR_INVALID_CHARS, data, size);
    if (text.empty() && size != 0) text = FromCodePage(CP_ACP, 0, data, size);
    return text;
}

void SortForDisplay(std::vector<std::wstring>& names) {
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        const int byLetters = ::lstrcmpiW(a.c_str(), b.c_str());
        return byLetters != 0 ? byLetters < 0 : a < b;
    });
}

}  // namespace zrvcatlist
