#pragma once
// The "Categories" page: a document's title, subject, author and comments,
// written back on Apply, and its categories, moved in and out with two
// hosted category lists and written at once on each arrow press.
//
// Every operation concerns the first selected path only. The document store
// is reached through the page's StoreDocument (from WM_INITDIALOG to
// WM_DESTROY), the editable document types through AppServices (asked once,
// at construction). Any interface still held when the page object goes,
// such as the document types of a page whose dialog never opened, is
// released with it.

#include "components/component_ids.h"
#include "pages/categories/ax_host_window.h"
#include "pages/prop_page.h"
#include "pages/store_document.h"
#include "support/bstr.h"
#include "support/com_ptr.h"

class CZRVPropPage_Category final : public CZRVPropPage {
  public:
    CZRVPropPage_Category() noexcept;

    BOOL OnInitDialog() noexcept override;
    BOOL OnDestroy() noexcept override;
    // 0 when there is no store, or when the texts could not be kept and the
    // user lost none of them; else 1. A text the user typed that could not
    // be kept (the store refused a write or the save, or no longer lets the
    // document be changed) is reported to the user, and the apply refused.
    LRESULT OnApply() noexcept override;
    LRESULT OnNotify(NMHDR* header) noexcept override;
    LRESULT OnCommand(WPARAM wParam, WORD notification) noexcept override;
    void OnHelp() noexcept override;
    void OnShow() noexcept override;

  private:
    enum class CategoryChange { Add, Remove };

    // Fills the four text fields from the store and records what each shows.
    void LoadTexts();
    void CreateHost(zrv::AxHostWindow& host);
    void PlaceHost(zrv::AxHostWindow& host, int frameId);
    // Asks the host's control for its list and shows it with the document
    // (null: the whole catalogue). Without a list the host stays hidden.
    void ShowList(zrv::AxHostWindow& host, zrv::com_ptr<ICategoryList>& list, BSTR document);

    // The arrow buttons: the categories selected in `source` are added to or
    // removed from the document's categories, stored at once.
    void MoveCategories(ICategoryList* source, CategoryChange change) noexcept;

    // False too when the question cannot be asked for want of memory.
    bool IsEditableFileType(BSTR path) noexcept;
    // A text as one Apply writes it, and the field's text it came from.
    struct PendingText {
        bool write = false;
        CString current;
        CComBSTR text;
    };
    // Makes each text as Apply writes it into pending (one per text field);
    // false when memory ran out.
    bool PrepareTexts(PendingText* pending) noexcept;
    // Writes the prepared texts as one change of the document.
    void WriteTexts(const PendingText* pending) noexcept;
    // A field shows a text the user typed since the page filled it or last
    // kept an Apply.
    bool TextsTyped() const noexcept;
    // Destroys a host window that never reached its frame, which would
    // otherwise outlive the dialog as a hidden top-level window.
    void DestroyStrayHost(const zrv::AxHostWindow& host) const noexcept;

    zrv::AxHostWindow AvailableHost;
    zrv::com_ptr<ICategoryList> AvailableList;
    zrv::AxHostWindow AssignedHost;
    zrv::com_ptr<ICategoryList> AssignedList;
    zrv::com_ptr<IAppDocumentTypes> DocumentTypes;
    StoreDocument Document;

    // What each text field was filled with, in the order of the fields. A
    // field the user left as it was is written back as the store gave it,
    // whatever the edit control made of it; a field whose text could not be
    // read is not written at all unless the user typed into it.
    struct LoadedText {
        CComBSTR stored;  // null when the store had no text
        CString shown;    // the field's text right after filling
        bool read = false;
    };
    LoadedText Loaded[4];
    // The fields were enabled for the user at least once.
    bool m_editingOffered = false;
};
