#include "summary_page.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>

#include "components/component_ids.h"
#include "localization/localize_dialog.h"
#include "pages/general/item_times.h"
#include "pages/page_help.h"
#include "resources/resource.h"
#include "support/bstr.h"
#include "support/com_ptr.h"

namespace {

constexpr int kPathBuffer = 260;
// Long enough for a worker that is between two entries or ending its
// apartment; one stuck in a slow file system call is left to finish alone.
constexpr DWORD kWorkerStopTimeoutMs = 2000;
constexpr DWORD kEditableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
// The Size field's frame timer, on the page's window.
constexpr UINT_PTR kSizeFrameTimer = 1;

}  // namespace

CZRVPropPage_Summary::CZRVPropPage_Summary() noexcept : CZRVPropPage(IDD_GENERAL_PAGE) {}

HRESULT CZRVPropPage_Summary::Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data,
                                         HKEY fileType) noexcept {
    const HRESULT hr = CZRVPropPage::Initialize(folder, data, fileType);
    if (FAILED(hr)) return hr;
    return selection.size() == 1 ? hr : E_FAIL;
}

BOOL CZRVPropPage_Summary::OnInitDialog() noexcept {
    // Setting the edit boxes' texts notifies EN_UPDATE, which is no change of
    // the user's.
    m_filling = true;
    zrv::scope_exit filled([this] { m_filling = false; });

    LocalizeDialog(window, IDD_GENERAL_PAGE);
    m_sizeDisplay.Attach(::GetDlgItem(window, IDC_GENERAL_SIZE), window, kSizeFrameTimer);
    // A page shown without a selection has nothing to describe.
    if (!SelectedPath()) return FALSE;
    const CString& path = *SelectedPath();

    // A failed query leaves the structure zeroed: no icon and no type text.
    SHFILEINFOW info;
    std::memset(&info, 0, sizeof(info));
    if (::SHGetFileInfoW(path, 0, &info, sizeof(info), SHGFI_ICON | SHGFI_TYPENAME) == 0) {
        std::memset(&info, 0, sizeof(info));
    }
    FileIcon.reset(info.hIcon);
    info.szTypeName[ARRAYSIZE(info.szTypeName) - 1] = L'\0';

    m_sizeJob = SizeJob::Create(path, window);
    if (m_sizeJob) WorkerThread = StartSizeWorker(m_sizeJob.get());

    ShowNameAndLocation(path, info.szTypeName);
    ShowTimes(path);
    ShowAttributes(path);
    return TRUE;
}

void CZRVPropPage_Summary::ShowNameAndLocation(const CString& path, const wchar_t* typeName) {
    wchar_t buffer[kPathBuffer];
    ::lstrcpynW(buffer, path, kPathBuffer);
    wchar_t* name = ::PathFindFileNameW(buffer);
    ::SetDlgItemTextW(window, IDC_GENERAL_NAME, name);
    // What remains is the folder with its trailing backslash: "C:\" for an
    // item in a drive's root.
    *name = L'\0';
    ::SetDlgItemTextW(window, IDC_GENERAL_LOCATION, buffer);
    ::SetDlgItemTextW(window, IDC_GENERAL_TYPE, typeName);
    HWND icon = ::GetDlgItem(window, IDC_GENERAL_ICON);
    if (icon && FileIcon) {
        ::SendMessageW(icon, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(FileIcon.get()));
    }
}

// No memory for the times' texts: they stay empty, and the rest of the page
// is still shown.
void CZRVPropPage_Summary::ShowTimes(const CString& path) {
    ItemTimes times;
    if (FAILED(ReadItemTimes(path, times))) return;
    ::SetDlgItemTextW(window, IDC_GENERAL_ACCESSED, times.accessed);
    ::SetDlgItemTextW(window, IDC_GENERAL_CREATED, times.created);
    ::SetDlgItemTextW(window, IDC_GENERAL_MODIFIED, times.modified);
}

void CZRVPropPage_Summary::ShowAttributes(const CString& path) {
    const DWORD attributes = ::GetFileAttributesW(path);
    m_attributesShown = attributes != INVALID_FILE_ATTRIBUTES;
    if (!m_attributesShown) return;
    m_shownAttributes = attributes & kEditableAttributes;
    ::CheckDlgButton(window, IDC_GENERAL_HIDDEN,
                     (attributes & FILE_ATTRIBUTE_HIDDEN) ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(window, IDC_GENERAL_READONLY,
                     (attributes & FILE_ATTRIBUTE_READONLY) ? BST_CHECKED : BST_UNCHECKED);
}

BOOL CZRVPropPage_Summary::OnDestroy() noexcept {
    m_sizeDisplay.Detach();
    if (m_sizeJob) StopSizeWorker(*m_sizeJob.get(), WorkerThread, kWorkerStopTimeoutMs);
    m_sizeJob.reset();
    // The icon control does not own the icon; it lets go before it is freed.
    if (HWND icon = ::GetDlgItem(window, IDC_GENERAL_ICON)) {
        ::SendMessageW(icon, STM_SETIMAGE, IMAGE_ICON, 0);
    }
    FileIcon.reset();
    return TRUE;
}

// Boxes that never showed the item's bits have nothing to write back, and
// bits that cannot be read now cannot be kept. The user is told only when a
// change of theirs is lost: a word rewritten as it was, or boxes left as
// they were shown, lose nothing.
LRESULT CZRVPropPage_Summary::OnApply() noexcept {
    DWORD wanted = 0;
    if (::IsDlgButtonChecked(window, IDC_GENERAL_READONLY) == BST_CHECKED) {
        wanted |= FILE_ATTRIBUTE_READONLY;
    }
    if (::IsDlgButtonChecked(window, IDC_GENERAL_HIDDEN) == BST_CHECKED) {
        wanted |= FILE_ATTRIBUTE_HIDDEN;
    }
    // Shown only for a selected item.
    const CString* path = m_attributesShown ? SelectedPath() : nullptr;
    const DWORD attributes = path ? ::GetFileAttributesW(*path) : INVALID_FILE_ATTRIBUTES;
    bool lost = false;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        lost = wanted != m_shownAttributes;
    } else {
        const DWORD written = (attributes & ~kEditableAttributes) | wanted;
        if (::SetFileAttributesW(*path, written)) {
            m_shownAttributes = wanted;  // the page stays open: what it stands for now
        } else {
            lost = written != attributes;
        }
    }
    RefuseApplyIfChangeLost(lost, IDS_GENERAL_NOT_SAVED);
    return TRUE;
}

LRESULT CZRVPropPage_Summary::OnUserMessage(UINT message, WPARAM, LPARAM) noexcept {
    if (message == WM_APP && m_sizeJob && !m_sizeJob->Gate().IsClosed()) {
        bool last = false;
        const CString text = m_sizeJob->LatestText(&last);
        m_sizeDisplay.Take(text, last);
    }
    return TRUE;
}

void CZRVPropPage_Summary::OnTimer(UINT_PTR id) noexcept {
    if (id == kSizeFrameTimer) m_sizeDisplay.EndFrame();
}

LRESULT CZRVPropPage_Summary::OnCommand(WPARAM, WORD notification) noexcept {
    if (m_filling) return 0;
    if (notification == BN_CLICKED || notification == EN_UPDATE) return SetModified(true);
    return 0;
}

void CZRVPropPage_Summary::OnHelp() noexcept { ShowPageHelp(window, L"doc_main_prop.htm"); }
