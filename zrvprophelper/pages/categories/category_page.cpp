#include "category_page.h"

#include <cwchar>
#include <utility>

#include "localization/localize_dialog.h"
#include "module/module.h"
#include "pages/categories/category_selection.h"
#include "pages/categories/category_set.h"
#include "pages/categories/file_extension.h"
#include "pages/page_help.h"
#include "resources/resource.h"
#include "support/hresult.h"

namespace {

struct TextField {
    int control;
    DocumentPropertyId property;
};

// The four texts, in the order they are read and written.
constexpr TextField kTextFields[] = {
    {IDC_CATEGORIES_TITLE, DOCPROP_TITLE},
    {IDC_CATEGORIES_SUBJECT, DOCPROP_SUBJECT},
    {IDC_CATEGORIES_AUTHOR, DOCPROP_AUTHOR},
    {IDC_CATEGORIES_COMMENTS, DOCPROP_COMMENTS},
};

// What OnShow enables only for a document that may be changed. Labels, the
// notice and the lists stay as they are: the lists may still be browsed.
constexpr int kEditingControls[] = {
    IDC_CATEGORIES_TITLE,    IDC_CATEGORIES_SUBJECT, IDC_CATEGORIES_AUTHOR,
    IDC_CATEGORIES_COMMENTS, IDC_CATEGORIES_ADD,     IDC_CATEGORIES_REMOVE,
};

static_assert(ARRAYSIZE(kTextFields) == 4, "one loaded text per field");

// What a user may type into a field. A longer stored text is still shown
// whole and, while untouched, written back whole; typing into it can
// shorten it but not make it longer.
constexpr int kMaxTypedChars = 511;

// The field's whole text, however long.
HRESULT FieldText(HWND page, int control, CString& text) noexcept {
    HWND edit = ::GetDlgItem(page, control);
    const int length = ::GetWindowTextLengthW(edit);
    if (length <= 0) {
        text.Empty();
        return S_OK;
    }
    CString read;
    wchar_t* buffer = read.GetBufferSetLength(length);
    if (!buffer) return E_OUTOFMEMORY;
    const int copied = ::GetWindowTextW(edit, buffer, length + 1);
    ZRV_RETURN_IF_FAILED(read.ReleaseBuffer(copied > 0 ? copied : 0));
    text = read;
    return S_OK;
}

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The edit control keeps to its limit in UTF-16 units: a paste cut there can
// leave half of a character, which is no text at all and which the store's
// readers would turn into a replacement character. Such halves are dropped.
HRESULT WholeCharacters(const CString& text, CString& whole) noexcept {
    const int length = text.GetLength();
    if (length == 0) {
        whole = text;
        return S_OK;
    }
    CString kept;
    wchar_t* out = kept.GetBufferSetLength(length);
    if (!out) return E_OUTOFMEMORY;
    int count = 0;
    for (int i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
            out[count++] = c;
            out[count++] = text[++i];
        } else if (!IsHighSurrogate(c) && !IsLowSurrogate(c)) {
            out[count++] = c;
        }
    }
    ZRV_RETURN_IF_FAILED(kept.ReleaseBuffer(count));
    whole = kept;
    return S_OK;
}

}  // namespace

CZRVPropPage_Category::CZRVPropPage_Category() noexcept : CZRVPropPage(IDD_CATEGORIES_PAGE) {
    // Without the document types the arrows stay inert and the page treats
    // the file as not editable (see IsEditableFileType).
    ::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAppDocumentTypes,
                       DocumentTypes.put_void());
}

BOOL CZRVPropPage_Category::OnInitDialog() noexcept {
    LocalizeDialog(window, IDD_CATEGORIES_PAGE);
    LoadTexts();

    CreateHost(AvailableHost);
    CreateHost(AssignedHost);
    PlaceHost(AvailableHost, IDC_CATEGORIES_AVAILABLE_FRAME);
    PlaceHost(AssignedHost, IDC_CATEGORIES_ASSIGNED_FRAME);
    // A host whose control gives no list stays hidden; the page goes on
    // without it, and then the arrows do nothing.
    ShowList(AvailableHost, AvailableList, nullptr);
    CComBSTR document;
    if (MakeSelectedPathBstr(document)) ShowList(AssignedHost, AssignedList, document);
    return TRUE;
}

// A field counts as read only once what it shows is known as well: one whose
// text cannot be taken back (out of memory) is emptied and left unread, so
// that Apply neither writes it nor takes the store's text for the user's.
// Without the store, or without a name for the document in it, nothing
// typed could be kept: nothing is offered for editing (OnShow leaves the
// controls alone without a store).
void CZRVPropPage_Category::LoadTexts() {
    const StoreDocument::Opening opening = Document.Open(selection);
    if (opening == StoreDocument::Opening::NoStore || opening == StoreDocument::Opening::NoName) {
        for (int id : kEditingControls) ::EnableWindow(::GetDlgItem(window, id), FALSE);
    }
    // A document the store cannot open shows empty fields; the store is
    // kept, and OnShow still asks it whether the document may be changed.
    const bool opened = opening == StoreDocument::Opening::Opened;
    for (size_t i = 0; i < ARRAYSIZE(kTextFields); ++i) {
        LoadedText& loaded = Loaded[i];
        const int control = kTextFields[i].control;
        if (opened) {
            loaded.read = Document.ReadText(kTextFields[i].property, loaded.stored);
            const BSTR text = loaded.stored.get();
            ::SetDlgItemTextW(window, control, text ? text : L"");
        }
        ::SendDlgItemMessageW(window, control, EM_LIMITTEXT, kMaxTypedChars, 0);
        if (FAILED(FieldText(window, control, loaded.shown))) {
            loaded.read = false;
            loaded.stored.Empty();
            ::SetDlgItemTextW(window, control, L"");
        }
    }
}

// The host starts as a hidden window of its own, so that its control is
// created and activated before any of it appears in the dialog; PlaceHost
// then makes it a child of its frame.
void CZRVPropPage_Category::CreateHost(zrv::AxHostWindow& host) {
    HWND handle = host.Create(g_module.Instance());
    if (!handle) return;
    // A host without a control is simply never shown.
    host.CreateControl(kCategoryListControlClsidText);
    if (static_cast<DWORD>(::GetWindowLongW(handle, GWL_STYLE)) != WS_CHILD) {
        ::SetWindowLongW(handle, GWL_STYLE, WS_CHILD);
    }
    if (::IsWindow(handle)) ::ShowWindow(handle, SW_HIDE);
}

void CZRVPropPage_Category::PlaceHost(zrv::AxHostWindow& host, int frameId) {
    HWND frame = ::GetDlgItem(window, frameId);
    if (!host || !frame) return;
    RECT area = {};
    ::GetClientRect(frame, &area);
    ::SetParent(host.Handle(), frame);
    ::SetWindowPos(host.Handle(), HWND_TOP, area.left, area.top, area.right - area.left,
                   area.bottom - area.top, SWP_NOACTIVATE);
    // Lets dialog keyboard navigation (Tab, mnemonics) enter the list.
    ::SetWindowLongW(frame, GWL_EXSTYLE,
                     ::GetWindowLongW(frame, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
}

void CZRVPropPage_Category::ShowList(zrv::AxHostWindow& host, zrv::com_ptr<ICategoryList>& list,
                                     BSTR document) {
    if (FAILED(host.QueryControl(IID_ICategoryList, list)) || !list) {
        list.reset();
        return;
    }
    list->SetDocument(document);
    list->Configure(0);
    ::ShowWindow(host.Handle(), SW_SHOWNORMAL);
}

void CZRVPropPage_Category::OnShow() noexcept {
    if (!Document) return;
    // Without memory for the question whether the document may be changed,
    // nothing is offered for editing (Apply asks the store again).
    bool editable = false;
    CComBSTR document;
    if (MakeSelectedPathBstr(document)) {
        editable = IsEditableFileType(document) && Document.Editable(DOCPROP_TITLE);
    }
    m_editingOffered = m_editingOffered || editable;
    for (int id : kEditingControls) ::EnableWindow(::GetDlgItem(window, id), editable);
}

// The list of editable types is a plain text in which the extension is
// looked for as a substring, case-sensitively. An empty extension is found
// in any text. Without the document types there is no list to consult, and
// the file counts as not editable: the arrows could not work then either.
bool CZRVPropPage_Category::IsEditableFileType(BSTR path) noexcept {
    CString extension;
    if (FAILED(GetLowerExtension(path, extension))) return false;
    if (!DocumentTypes) return false;
    CComBSTR extensions;
    DocumentTypes->GetDocumentExtensions(extensions.put());
    return std::wcsstr(extensions.get() ? extensions.get() : L"", extension) != nullptr;
}

LRESULT CZRVPropPage_Category::OnCommand(WPARAM wParam, WORD notification) noexcept {
    // Only the four edit fields send EN_UPDATE. Their filling in
    // OnInitDialog counts as a change too: the sheet cannot tell it apart.
    if (notification == EN_UPDATE) return SetModified(true);
    if (notification != BN_CLICKED) return 0;
    switch (LOWORD(wParam)) {
        case IDC_CATEGORIES_ADD:
            MoveCategories(AvailableList.get(), CategoryChange::Add);
            break;
        case IDC_CATEGORIES_REMOVE:
            MoveCategories(AssignedList.get(), CategoryChange::Remove);
            break;
        default:
            break;
    }
    return 0;
}

// Written and announced at once, as the page's notice tells the user, and
// stored back even when no name changed. The sheet is not told of a change:
// there is nothing left for Apply to do. Out of memory before the write
// writes nothing.
void CZRVPropPage_Category::MoveCategories(ICategoryList* source, CategoryChange change) noexcept {
    if (!AvailableList || !AssignedList || !DocumentTypes) return;
    ICategoryEnum* selection = nullptr;  // the list's own: never released here
    if (source->GetSelection(&selection) != S_OK || !selection) return;
    CategorySelection items;
    if (FAILED(GatherSelection(selection, items))) return;
    if (items.empty() || !Document.BeginChange()) return;

    CComBSTR stored;
    // A failed read tells nothing about what is stored; a set built from it
    // would replace every category the document has.
    if (!Document.ReadText(DOCPROP_CATEGORIES, stored)) return;
    CString storedText;
    if (FAILED(storedText.SetString(stored.get()))) return;
    CategorySet categories;
    if (FAILED(categories.Read(storedText))) return;
    for (const CategoryItem& item : items) {
        CString name;
        if (FAILED(CategoryItemName(item, name))) return;
        const HRESULT changed =
            change == CategoryChange::Add ? categories.Add(name) : categories.Remove(name);
        if (FAILED(changed)) return;
    }

    // Everything is made before the write, so that a write is always
    // followed by its save and announcement. A text the store refused (one
    // grown past what it holds) is not stored: there is nothing to save and
    // no change to announce.
    CComBSTR text;
    if (FAILED(text.Assign(categories.GetText()))) return;
    Document.WriteText(DOCPROP_CATEGORIES, text.get());
    Document.FinishChange();
}

// No type test here: texts the user could not edit are written back as
// they were read. An Apply that had nothing to write saves and announces
// nothing. When the store could not be asked, a write or the save failed,
// or memory ran out before the first write, the user is told if a text
// typed into a field is lost, and the sheet stays open with the texts as
// typed (OK would otherwise close it over them); the next Apply writes every
// text again. An Apply that could not write back what was already stored
// passes quietly.
LRESULT CZRVPropPage_Category::OnApply() noexcept {
    if (!Document) return 0;
    PendingText pending[ARRAYSIZE(kTextFields)];
    if (!Document.BeginChange() || !Document.Editable(DOCPROP_TITLE) || !PrepareTexts(pending)) {
        return RefuseApplyIfChangeLost(TextsTyped(), IDS_CATEGORIES_NOT_SAVED);
    }
    WriteTexts(pending);
    switch (Document.FinishChange()) {
        case StoreDocument::Outcome::NothingWritten:
            return 1;
        case StoreDocument::Outcome::Lost:
            return RefuseApplyIfChangeLost(TextsTyped(), IDS_CATEGORIES_NOT_SAVED);
        case StoreDocument::Outcome::Kept:
            break;
    }
    // The page stays open after Apply: what was just saved is what each
    // field now stands for. Not before the save: a field the store never
    // gave is not the store's until then.
    for (size_t i = 0; i < ARRAYSIZE(kTextFields); ++i) {
        PendingText& field = pending[i];
        if (!field.write) continue;
        LoadedText& loaded = Loaded[i];
        loaded.stored = std::move(field.text);
        loaded.shown = field.current;
        loaded.read = true;
    }
    return 1;
}

// Unknown (out of memory), a field counts as typed into.
bool CZRVPropPage_Category::TextsTyped() const noexcept {
    if (!m_editingOffered) return false;
    for (size_t i = 0; i < ARRAYSIZE(kTextFields); ++i) {
        CString current;
        if (FAILED(FieldText(window, kTextFields[i].control, current))) return true;
        if (current != Loaded[i].shown) return true;
    }
    return false;
}

// The texts are all made before the first write: running out of memory
// half way would leave some of an Apply's texts written and others not.
bool CZRVPropPage_Category::PrepareTexts(PendingText* pending) noexcept {
    for (size_t i = 0; i < ARRAYSIZE(kTextFields); ++i) {
        const LoadedText& loaded = Loaded[i];
        PendingText& field = pending[i];
        if (FAILED(FieldText(window, kTextFields[i].control, field.current))) return false;
        const bool edited = field.current != loaded.shown;
        if (!edited && !loaded.read) continue;
        if (edited) {
            CString whole;
            if (FAILED(WholeCharacters(field.current, whole)) || FAILED(field.text.Assign(whole)))
                return false;
        } else if (FAILED(field.text.Assign(loaded.stored))) {
            return false;
        }
        if (!field.text && FAILED(field.text.Assign(L""))) return false;
        field.write = true;
    }
    return true;
}

void CZRVPropPage_Category::WriteTexts(const PendingText* pending) noexcept {
    for (size_t i = 0; i < ARRAYSIZE(kTextFields); ++i) {
        if (pending[i].write) Document.WriteText(kTextFields[i].property, pending[i].text.get());
    }
}

LRESULT CZRVPropPage_Category::OnNotify(NMHDR*) noexcept { return 0; }

void CZRVPropPage_Category::OnHelp() noexcept { ShowPageHelp(window, L"change_cat.htm"); }

BOOL CZRVPropPage_Category::OnDestroy() noexcept {
    AvailableList.reset();
    AssignedList.reset();
    DocumentTypes.reset();
    Document.Close();
    DestroyStrayHost(AvailableHost);
    DestroyStrayHost(AssignedHost);
    return TRUE;
}

void CZRVPropPage_Category::DestroyStrayHost(const zrv::AxHostWindow& host) const noexcept {
    if (host && ::IsWindow(host.Handle()) && !::IsChild(window, host.Handle())) {
        ::DestroyWindow(host.Handle());
    }
}
