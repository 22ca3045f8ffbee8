#include "store_document.h"

#include <utility>

#include "pages/document_changed.h"

StoreDocument::Opening StoreDocument::Open(const FileSelection& selection) noexcept {
    Close();
    if (FAILED(::CoCreateInstance(CLSID_DocumentCatalog, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IDocumentCatalog, m_catalog.put_void())) ||
        !m_catalog) {
        m_catalog.reset();
        return Opening::NoStore;
    }
    CComBSTR path;
    if (!selection.empty()) {
        m_path = selection[0];
        if (FAILED(path.Assign(m_path))) path.Empty();
    }
    if (!path) {
        m_catalog.reset();
        return Opening::NoName;
    }
    // A store that cannot be read now (damaged, busy elsewhere) may be read
    // again by the first change; until the document is opened the store
    // fails every call on it, an arrow's read included.
    m_reopen = FAILED(m_catalog->OpenDocument(path.get()));
    return m_reopen ? Opening::NotOpened : Opening::Opened;
}

void StoreDocument::Close() noexcept {
    m_changePath.Empty();
    m_reopen = false;
    m_catalog.reset();
}

bool StoreDocument::Editable(DocumentPropertyId property) const noexcept {
    if (!m_catalog) return false;
    CComBSTR path;
    if (FAILED(path.Assign(m_path))) return false;
    return m_catalog->CanEditProperty(path.get(), property) == 1;
}

bool StoreDocument::ReadText(DocumentPropertyId property, CComBSTR& text) const noexcept {
    const bool read = m_catalog && SUCCEEDED(m_catalog->GetStringProperty(property, text.put()));
    if (!read) text.Empty();
    return read;
}

bool StoreDocument::ReadValue(DocumentPropertyId property,
                              zrv::unique_propvariant& value) const noexcept {
    return m_catalog && SUCCEEDED(m_catalog->GetProperty(property, value.put()));
}

bool StoreDocument::BeginChange() noexcept {
    m_wrote = false;
    m_allTaken = true;
    m_changePath.Empty();
    if (!m_catalog) return false;
    if (FAILED(m_changePath.Assign(m_path))) {
        m_changePath.Empty();
        return false;
    }
    if (m_reopen) m_reopen = FAILED(m_catalog->OpenDocument(m_changePath.get()));
    return true;
}

bool StoreDocument::WriteText(DocumentPropertyId property, BSTR text) noexcept {
    BSTR argument = text;
    return Note(SUCCEEDED(m_catalog->SetStringProperty(property, &argument)));
}

bool StoreDocument::WriteValue(DocumentPropertyId property, PROPVARIANT& value) noexcept {
    return Note(SUCCEEDED(m_catalog->SetProperty(property, &value)));
}

bool StoreDocument::Note(bool taken) noexcept {
    m_wrote = true;
    m_allTaken = m_allTaken && taken;
    return taken;
}

StoreDocument::Outcome StoreDocument::FinishChange() noexcept {
    const CComBSTR path(std::move(m_changePath));
    const bool wrote = std::exchange(m_wrote, false);
    const bool allTaken = std::exchange(m_allTaken, true);
    if (!wrote) return Outcome::NothingWritten;
    if (allTaken && SUCCEEDED(m_catalog->SaveDocument(path.get()))) {
        AnnounceDocumentChanged(path.get());
        return Outcome::Kept;
    }
    m_reopen = FAILED(m_catalog->OpenDocument(path.get()));
    return Outcome::Lost;
}
