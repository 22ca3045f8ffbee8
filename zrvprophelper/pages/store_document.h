#pragma once
// The document that a store page (Categories, Life Cycle) shows and changes:
// the page's first selected path, in a catalog of the document store that
// the page holds from WM_INITDIALOG to WM_DESTROY.
//
// It holds the rules of a change (an Apply, an arrow press): the writes are
// made after BeginChange and settled by FinishChange, which saves them only
// when the store took every one, and announces only what it saved. Writes of
// a change that was not kept are dropped from the catalog by opening the
// document again: they would otherwise stay pending there, and the next
// save (the next Apply's, an arrow's) would store them, even a value the
// user has set back since, although the user may still cancel.
//
// The document's name goes to the store as a BSTR made for each call, or
// for one change.

#include <windows.h>

#include "components/component_ids.h"
#include "pages/file_selection.h"
#include "support/bstr.h"
#include "support/com_ptr.h"
#include "support/cstring.h"
#include "support/handles.h"

class StoreDocument {
  public:
    enum class Opening {
        NoStore,    // the store cannot be reached
        NoName,     // no text for the name (out of memory): the store is let go
        NotOpened,  // the store holds no readable record of the document
        Opened,
    };
    enum class Outcome {
        NothingWritten,  // nothing is saved or announced
        Kept,            // saved and announced
        Lost,            // what was written is dropped: nothing saved or announced
    };

    StoreDocument() noexcept = default;
    StoreDocument(const StoreDocument&) = delete;
    StoreDocument& operator=(const StoreDocument&) = delete;

    // Reaches the store and opens the document of the selection's first path.
    // Without its name as a text nothing the page does could concern that
    // document: the page then offers nothing for editing, since whatever the
    // user typed would be dropped unsaved.
    Opening Open(const FileSelection& selection) noexcept;
    // Lets go of the store.
    void Close() noexcept;
    // The store is held.
    explicit operator bool() const noexcept { return static_cast<bool>(m_catalog); }

    // The store lets property be changed now (it answers exactly 1).
    bool Editable(DocumentPropertyId property) const noexcept;
    // What the store holds; false when it could not be read (text is then
    // empty).
    bool ReadText(DocumentPropertyId property, CComBSTR& text) const noexcept;
    bool ReadValue(DocumentPropertyId property, zrv::unique_propvariant& value) const noexcept;

    // Starts a change; false when there is no store or the name cannot be
    // made. A document that a dropped change left closed (the store could not
    // open it again) is opened first: until then the store fails every call
    // on it and writes nothing. A change left before its first write needs no
    // FinishChange.
    bool BeginChange() noexcept;
    // One write of the change begun (BeginChange answered true); false when
    // the store refused it.
    bool WriteText(DocumentPropertyId property, BSTR text) noexcept;
    bool WriteValue(DocumentPropertyId property, PROPVARIANT& value) noexcept;
    Outcome FinishChange() noexcept;

  private:
    bool Note(bool taken) noexcept;

    zrv::com_ptr<IDocumentCatalog> m_catalog;
    CString m_path;
    CComBSTR m_changePath;  // the name for the store's calls of the change under way
    bool m_wrote = false;
    bool m_allTaken = true;
    // A change was dropped, but the document could not be opened again.
    bool m_reopen = false;
};
