#pragma once
// One store file: reads, and read-modify-write commits that merge one
// document's changes into whatever the file holds at that moment, so that
// concurrent writers of other documents or other properties lose nothing.
//
// Every access holds the store's lock. A file that cannot be parsed fails
// every operation and is never written over; a read-only one is read but
// never written.

#include <windows.h>

#include <string>
#include <vector>

#include "store/core/document_record.h"

namespace zrvstore {

class DocumentStore {
  public:
    // The file named by the environment, or the per-user default.
    HRESULT Initialize();
    HRESULT Initialize(const std::wstring& storeFile);

    const std::wstring& File() const noexcept { return m_file; }

    // A store file that does not exist yet is an empty store.
    HRESULT ReadAll(std::vector<DocumentRecord>& documents) const;
    // `path` must be normalised. found is false for a document never saved.
    HRESULT Find(const std::wstring& path, DocumentRecord& document, bool& found) const;

    enum class ReadOnlyRule { Refuse, Ignore };
    // Applies `changes` to the document at `path` (normalised), adding it
    // when new. With ReadOnlyRule::Refuse, property changes to a document
    // marked read-only fail with E_ACCESSDENIED and nothing is written.
    HRESULT Commit(const std::wstring& path, const DocumentChanges& changes, ReadOnlyRule rule);

  private:
    HRESULT ReadAllLocked(std::vector<DocumentRecord>& documents) const;
    HRESULT WriteAllLocked(const std::vector<DocumentRecord>& documents) const;

    std::wstring m_file;
};

}  // namespace zrvstore
