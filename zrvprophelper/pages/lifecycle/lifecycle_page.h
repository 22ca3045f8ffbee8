#pragma once
// The Life Cycle page: when a document expires from the active documents,
// how long before that the user is reminded, and whether it is to be burned
// to CD/DVD. The values live in the document store; the page reads them when
// it opens and writes them on Apply, for the first selected path only.

#include "components/component_ids.h"
#include "pages/prop_page.h"
#include "support/com_ptr.h"

class CZRVPropPage_LifeCycle final : public CZRVPropPage {
  public:
    CZRVPropPage_LifeCycle() noexcept;

    // Fills the controls from the store; TRUE lets the dialog set the focus.
    BOOL OnInitDialog() noexcept override;
    // Lets go of the store.
    BOOL OnDestroy() noexcept override;
    // Writes the three values, commits and announces them. 0 when the store
    // is unreachable or refuses the change, else TRUE. A write or save that
    // failed is reported to the user, and the apply refused; so is a store
    // that no longer lets the document be changed after the page offered it.
    LRESULT OnApply() noexcept override;
    // A date chosen in the picker marks the page changed.
    LRESULT OnNotify(NMHDR* header) noexcept override;
    // A click re-derives which controls are usable and marks the page
    // changed; the reminder list's own notifications do neither.
    LRESULT OnCommand(WPARAM wParam, WORD notification) noexcept override;
    void OnHelp() noexcept override;
    // Enables the controls only while the store allows the change.
    void OnShow() noexcept override;

  private:
    bool IsEditable(BSTR document) const;
    void LoadStoredValues();
    void ShowStoredExpiration(const FILETIME& stored);
    // Writes what Apply stores for the checked choice. False when the store
    // refused a write; `wroteAny` tells whether any write was made.
    bool WriteValues(int choice, bool& wroteAny);
    bool SetValue(int id, PROPVARIANT& value);
    bool SetNumber(int id, ULONG number);
    bool ExpirationFor(int choice, FILETIME& expiration) const;
    void SetReminderList(DWORD reminder);

    // Null when the store is unreachable.
    zrv::com_ptr<IDocumentCatalog> Catalog;
    // The expiration read from the store, exactly. While the picker still
    // shows it, Apply writes it back as it was rather than the picker's
    // coarser (or, for a date the picker cannot show, different) value; so
    // does an untouched "None" shown for a value with one half zero.
    FILETIME m_storedExpiration = {};
    bool m_pickerShowsStored = false;
    // The stored expiration is a date the picker cannot show (before its
    // first date, or no date at all). The picker then stays hidden rather
    // than show some other date, until the user picks another choice.
    bool m_storedDateHidden = false;

    // Which values the store gave, and what the controls showed right after
    // filling. A value that could not be read is written only when the user
    // changed its control: the default it shows says nothing of the store.
    bool m_expirationRead = false;
    bool m_reminderRead = false;
    bool m_burnRead = false;
    int m_loadedChoice = 0;
    LRESULT m_loadedReminder = CB_ERR;
    bool m_loadedBurn = false;
    // The reminder and burn values as stored, which may be numbers no list
    // item stands for or that the box shows as checked; what the page last
    // wrote once it has written one.
    DWORD m_storedReminder = 0;
    DWORD m_storedBurn = 0;
    // The user clicked one of the expiration choices, even the one shown.
    bool m_choiceClicked = false;
    // The choices were enabled for the user at least once.
    bool m_editingOffered = false;
    // A refused Apply's writes were dropped, but the document could not be
    // opened again.
    bool m_reopen = false;
};
