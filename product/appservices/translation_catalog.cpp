#include "translation_catalog.h"

#include <windows.h>

#include <vector>

#include "appservices/invariant_case.h"
#include "appservices/settings.h"
#include "support/handles.h"

namespace zrvappsvc {

namespace {

constexpr std::wstring_view kNullMarker = L"<null>";
constexpr wchar_t kSeparator = L'|';

std::wstring_view Trim(std::wstring_view text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) return {};
    const size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

std::vector<std::wstring_view> Split(std::wstring_view text) {
    std::vector<std::wstring_view> parts;
    for (;;) {
        const size_t bar = text.find(kSeparator);
        parts.push_back(Trim(text.substr(0, bar)));
        if (bar == std::wstring_view::npos) return parts;
        text.remove_prefix(bar + 1);
    }
}

bool SameWord(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The normalised map key of a list of parts; empty when a part is empty or
// holds the separator (it could then pose as another key).
std::wstring MakeKey(std::initializer_list<std::wstring_view> parts) {
    std::wstring key;
    for (std::wstring_view part : parts) {
        part = Trim(part);
        if (part.empty() || part.find(kSeparator) != std::wstring_view::npos) return {};
        if (!key.empty()) key += kSeparator;
        key.append(part);
    }
    return InvariantCase(key, LCMAP_UPPERCASE);
}

// The key of a catalog line's left side; empty when it does not parse.
std::wstring KeyOfLine(std::wstring_view left) {
    const std::vector<std::wstring_view> parts = Split(left);
    if (parts.size() == 3 && SameWord(parts[1], L"string")) {
        return MakeKey({parts[0], L"string", parts[2]});
    }
    if (parts.size() == 4 && SameWord(parts[1], L"dialog")) {
        return MakeKey({parts[0], L"dialog", parts[2], parts[3]});
    }
    return {};
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    zrv::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > TranslationCatalog::kMaxFileBytes) {
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty() || (::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                        &read, nullptr) &&
                             read == bytes.size());
}

}  // namespace

bool DecodeCatalogBytes(const std::string& bytes, std::wstring& text) {
    text.clear();
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
        if (bytes.size() % 2 != 0) return false;
        text.resize((bytes.size() - 2) / 2);
        for (size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<wchar_t>(byte(2 + 2 * i) | (byte(3 + 2 * i) << 8));
        }
        return true;
    }
    if (bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) return false;
    size_t start = 0;
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) start = 3;
    const int length = static_cast<int>(bytes.size() - start);
    if (length == 0) return true;
    const int chars = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + start,
                                            length, nullptr, 0);
    if (chars <= 0) return false;
    text.resize(static_cast<size_t>(chars));
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + start, length,
                                 text.data(), chars) == chars;
}

bool TranslationCatalog::MergeFile(const std::wstring& path) {
    std::string bytes;
    std::wstring text;
    if (!ReadFileBytes(path, bytes) || !DecodeCatalogBytes(bytes, text)) return false;
    MergeText(text);
    return true;
}

void TranslationCatalog::MergeText(std::wstring_view text) {
    while (!text.empty()) {
        const size_t end = text.find(L'\n');
        std::wstring_view line = text.substr(0, end);
        text.remove_prefix(end == std::wstring_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);

        const std::wstring_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == L'#') continue;
        const size_t equals = line.find(L'=');
        if (equals == std::wstring_view::npos) continue;
        std::wstring key = KeyOfLine(line.substr(0, equals));
        if (key.empty()) continue;

        const std::wstring_view value = line.substr(equals + 1);
        Translation& entry = m_entries[std::move(key)];
        entry.isNull = value == kNullMarker;
        entry.text = entry.isNull ? std::wstring() : std::wstring(value);
    }
}

const Translation* TranslationCatalog::FindString(std::wstring_view module,
                                                  std::wstring_view stringId) const {
    const std::wstring key = MakeKey({module, L"string", stringId});
    if (key.empty()) return nullptr;
    const auto found = m_entries.find(key);
    return found == m_entries.end() ? nullptr : &found->second;
}

const Translation* TranslationCatalog::FindDialog(std::wstring_view module,
                                                  std::wstring_view dialogId,
                                                  std::wstring_view key) const {
    const std::wstring mapKey = MakeKey({module, L"dialog", dialogId, key});
    if (mapKey.empty()) return nullptr;
    const auto found = m_entries.find(mapKey);
    return found == m_entries.end() ? nullptr : &found->second;
}

std::shared_ptr<const TranslationCatalog> LoadSelectedCatalog() {
    auto catalog = std::make_shared<TranslationCatalog>();
    if (const std::optional<std::wstring> language = SelectedLanguage()) {
        catalog->MergeFile(ImageFolder() + *language + L".catalog");
    }
    if (const std::optional<std::wstring> extra = EnvironmentText(L"ZRV_CATALOG_EXTRA")) {
        catalog->MergeFile(*extra);
    }
    return catalog;
}

}  // namespace zrvappsvc
