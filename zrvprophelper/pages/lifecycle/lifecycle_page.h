#pragma once
// The Life Cycle page: when a document expires from the active documents,
// how long before that the user is reminded, and whether it is to be burned
// to CD/DVD. The values live in the document store; the page reads them when
// it opens and writes them on Apply, for the first selected path only.

#include "components/component_ids.h"
#include "pages/prop_page.h"
#include "pages/store_document.h"

class CZRVPropPage_LifeCycle final : public CZRVPropPage {
  public:
    CZRVPropPage_LifeCycle() noexcept;

    // Fills the controls from the store; TRUE lets the dialog set the focus.
    BOOL OnInitDialog() noexcept override;
    // Lets go of the store.
    BOOL OnDestroy() noexcept override;
    // Writes the three values, commits and announces them. 0 when the store
    // is unreachable, or when the values could not be kept and the user lost
    // no choice; else TRUE. A choice of the user's that could not be kept
    // (the store refused a write or the save, or no longer lets the document
    // be changed) is reported to the user, and the apply refused.
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
    // What the controls show.
    struct Choices {
        int choice = 0;
        LRESULT reminder = CB_ERR;
        bool burn = false;
        DWORD dateState = 0;
        SYSTEMTIME date = {};
    };

    void LoadStoredValues();
    void ShowStoredExpiration(const FILETIME& stored);
    // Writes, as one change of the document, what Apply stores for the
    // checked choice.
    void WriteValues(int choice);
    bool SetValue(DocumentPropertyId id, PROPVARIANT& value);
    bool SetNumber(DocumentPropertyId id, ULONG number);
    bool ExpirationFor(int choice, FILETIME& expiration) const;
    void SetReminderList(DWORD reminder);
    Choices ShownChoices() const noexcept;
    // The user changed or chose something since the page was filled or last
    // kept an Apply.
    bool ChoicesChanged() const noexcept;

    StoreDocument Document;
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
    Choices m_loaded;
    // The reminder and burn values as stored, which may be numbers no list
    // item stands for or that the box shows as checked; what the page last
    // wrote once it has written one.
    DWORD m_storedReminder = 0;
    DWORD m_storedBurn = 0;
    // The user clicked one of the expiration choices, even the one shown.
    bool m_choiceClicked = false;
    // What the controls showed when the last Apply was kept (or the page
    // filled), and whether the user clicked a choice or picked a date since.
    Choices m_kept;
    bool m_chosenSinceKept = false;
    // The choices were enabled for the user at least once.
    bool m_editingOffered = false;
};
