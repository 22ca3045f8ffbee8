#pragma once
// The journal beside the store file (its name with the extension
// ".journal"): one UTF-8 line per call that a client made to change or
// announce a document, so that other processes can see what was asked:
//
//   SetStringProperty <id> <path>
//   SetProperty <id> <path>
//   SaveDocument <path>
//   UpdateDocument <path>
//
// Every call is recorded, also one that failed. <path> is the full path of
// the document, "<none>" when the call named none. Lines end with "\n" and
// are written whole under the store's lock. A journal past kMaxJournalBytes
// starts over.

#include <windows.h>

#include <string>

namespace zrvstore {

constexpr size_t kMaxJournalBytes = 4u << 20;

class StoreJournal {
  public:
    explicit StoreJournal(const std::wstring& storeFile);

    const std::wstring& File() const noexcept { return m_file; }

    HRESULT Append(const std::wstring& line) const;
    // Convenience for the lines above: operation, optional id, path.
    HRESULT Record(const wchar_t* operation, int id, const std::wstring& path) const;
    HRESULT Record(const wchar_t* operation, const std::wstring& path) const;

    // The journal's bytes; empty when there is none.
    HRESULT Read(std::string& utf8) const;
    HRESULT Clear() const;

  private:
    std::wstring m_storeFile;
    std::wstring m_file;
};

}  // namespace zrvstore
