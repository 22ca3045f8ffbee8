#pragma once
// Translations of the product's modules, read from catalog files.
//
// A catalog is a text file, UTF-8 (with or without a byte-order mark) or
// UTF-16LE with its byte-order mark, one entry per line:
//
//   <module>|string|<string id>=<text>
//   <module>|dialog|<dialog id>|<key>=<text>
//
// <module> is a module's file name without folder and extension; the dialog
// key is "caption" or a control id in signed decimal ("-1" for the
// shared-id labels). Everything left of the first '=' is the key: its parts
// are trimmed of blanks and compared without regard to case. The text runs
// verbatim to the end of the line (no escapes, trailing CR dropped); an
// empty text is a successful empty answer, and the exact text "<null>" a
// successful answer with no text at all. Blank lines and lines starting
// with '#' are ignored, and so is any line that does not parse. A later entry
// for the same key replaces an earlier one.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zrvappsvc {

struct Translation {
    std::wstring text;
    bool isNull = false;  // answer with a null BSTR
};

class TranslationCatalog {
  public:
    // Files larger than this are not read: a catalog is a few kilobytes.
    static constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;

    // Adds the entries of a file. False (and nothing added) when the file
    // cannot be read or is not valid UTF-8 / UTF-16LE text.
    bool MergeFile(const std::wstring& path);
    void MergeText(std::wstring_view text);

    // Null when the catalog has no entry for the key.
    const Translation* FindString(std::wstring_view module, std::wstring_view stringId) const;
    const Translation* FindDialog(std::wstring_view module, std::wstring_view dialogId,
                                  std::wstring_view key) const;

    size_t size() const noexcept { return m_entries.size(); }

  private:
    std::unordered_map<std::wstring, Translation> m_entries;
};

// Decodes a catalog file's bytes by its byte-order mark. False for UTF-16BE,
// a truncated UTF-16 text or invalid UTF-8.
bool DecodeCatalogBytes(const std::string& bytes, std::wstring& text);

// The catalog that the current settings select: <language>.catalog beside
// the image, then the entries of the file named by ZRV_CATALOG_EXTRA, which
// override. Empty for English without an extra file.
std::shared_ptr<const TranslationCatalog> LoadSelectedCatalog();

}  // namespace zrvappsvc
