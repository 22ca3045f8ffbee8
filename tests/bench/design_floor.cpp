#include "design_floor.h"

#include <commctrl.h>
#include <process.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <cwctype>
#include <vector>

#include "bench/map_lookup_floor.h"
#include "common/hdrop_data_object.h"
#include "common/sheet_host.h"
#include "components/component_ids.h"
#include "resources/resource.h"
#include "support/com_ptr.h"
#include "support/handles.h"

namespace zrvbench {

namespace {

constexpr UINT kPathBuffer = 260;

// A BSTR made for one call.
struct CallText {
    explicit CallText(const std::wstring& text) : b(::SysAllocString(text.c_str())) {}
    CallText(const CallText&) = delete;
    CallText& operator=(const CallText&) = delete;
    ~CallText() { ::SysFreeString(b); }
    BSTR b;
};

// The module's file beside this program.
std::wstring ModulePath() {
    wchar_t path[kPathBuffer] = {};
    ::GetModuleFileNameW(nullptr, path, kPathBuffer);
    ::PathRemoveFileSpecW(path);
    ::PathAppendW(path, L"ZRVPropHelper.dll");
    return path;
}

// The context the pages' dialogs are built in, with version 6 common
// controls, from the module's manifest: built once in a process.
HANDLE PagesContext() {
    static const HANDLE context = [] {
        const std::wstring path = ModulePath();
        ACTCTXW request = {};
        request.cbSize = sizeof(request);
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = path.c_str();
        request.lpResourceName = MAKEINTRESOURCEW(2);
        return ::CreateActCtxW(&request);
    }();
    return context;
}

// The pages' context, active for as long as this lives.
class PagesContextActive {
  public:
    PagesContextActive() {
        m_active =
            PagesContext() != INVALID_HANDLE_VALUE && ::ActivateActCtx(PagesContext(), &m_cookie);
    }
    PagesContextActive(const PagesContextActive&) = delete;
    PagesContextActive& operator=(const PagesContextActive&) = delete;
    ~PagesContextActive() {
        if (m_active) ::DeactivateActCtx(0, m_cookie);
    }

  private:
    ULONG_PTR m_cookie = 0;
    bool m_active = false;
};

// The module's name as every lookup passes it: the long form of its file's
// path as the shell gives it, resolved once in a process.
const std::wstring& ModuleStem() {
    static const std::wstring stem = [] {
        wchar_t path[kPathBuffer] = {};
        ::lstrcpynW(path, ModulePath().c_str(), kPathBuffer);
        zrv::com_ptr<IShellFolder> desktop;
        PIDLIST_RELATIVE items = nullptr;
        if (SUCCEEDED(::SHGetDesktopFolder(desktop.put())) &&
            SUCCEEDED(
                desktop->ParseDisplayName(nullptr, nullptr, path, nullptr, &items, nullptr))) {
            ::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(items), path);
            ::CoTaskMemFree(items);
        }
        wchar_t* name = ::PathFindFileNameW(path);
        ::PathRemoveExtensionW(name);
        return std::wstring(name);
    }();
    return stem;
}

struct StringRequest {
    UINT id;
    wchar_t* text;
    int size;
};

void TranslateString(IAppLocalizer* server, void* context) {
    auto* request = static_cast<StringRequest*>(context);
    wchar_t key[16];
    std::swprintf(key, 16, L"%u", request->id);
    CallText stem(ModuleStem()), id(key), fallback(request->text);
    BSTR answer = nullptr;
    if (SUCCEEDED(server->GetModuleString(stem.b, id.b, fallback.b, &answer))) {
        ::lstrcpynW(request->text, answer ? answer : L"", request->size);
    }
    ::SysFreeString(answer);
}

// One localized string: the string table, then the thread's server through
// the map, made on the thread's first lookup.
void LoadLocalized(HMODULE templates, UINT id, wchar_t* text, int size) {
    if (::LoadStringW(templates, id, text, size) <= 0) text[0] = L'\0';
    StringRequest request{id, text, size};
    MapLookupFloor(true, &TranslateString, &request, /*makeServer=*/true);
}

struct DialogRequest {
    HWND page;
    UINT dialogId;
    IAppLocalizer* server;
};

// Asks the server for one of the dialog's texts (shown: what window shows
// now) and shows the answer: any answer for the caption, a non-empty one for
// a control.
void ShowDialogString(const DialogRequest& request, const wchar_t* key, HWND window,
                      const wchar_t* shown, bool emptyAnswerShown) {
    wchar_t dialog[16];
    std::swprintf(dialog, 16, L"%u", request.dialogId);
    CallText stem(ModuleStem()), dialogText(dialog), keyText(key), fallback(shown);
    BSTR answer = nullptr;
    if (SUCCEEDED(request.server->GetDialogString(stem.b, dialogText.b, keyText.b, fallback.b,
                                                  &answer)) &&
        answer && (answer[0] || emptyAnswerShown)) {
        ::SetWindowTextW(window, answer);
    }
    ::SysFreeString(answer);
}

// A direct child's font and, when it has a text and an id, its translation.
BOOL CALLBACK LocalizeChild(HWND child, LPARAM param) {
    auto* request = reinterpret_cast<DialogRequest*>(param);
    if (::GetParent(child) != request->page) return TRUE;
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   0);
    const int id = ::GetDlgCtrlID(child);
    wchar_t text[kPathBuffer] = {};
    ::GetWindowTextW(child, text, kPathBuffer);
    if (text[0] == L'\0' || id == 0) return TRUE;
    wchar_t key[16];
    std::swprintf(key, 16, L"%d", id);
    ShowDialogString(*request, key, child, text, /*emptyAnswerShown=*/false);
    return TRUE;
}

void TranslateDialog(IAppLocalizer* server, void* context) {
    auto* request = static_cast<DialogRequest*>(context);
    request->server = server;
    wchar_t caption[kPathBuffer] = {};
    ::GetWindowTextW(request->page, caption, kPathBuffer);
    ShowDialogString(*request, L"caption", request->page, caption, /*emptyAnswerShown=*/true);
    ::EnumChildWindows(request->page, &LocalizeChild, reinterpret_cast<LPARAM>(request));
}

// The dialog's localization: one lookup, its server asked for the caption
// and for every direct child's text.
void LocalizeDialog(HWND page, UINT dialogId) {
    DialogRequest request{page, dialogId, nullptr};
    MapLookupFloor(true, &TranslateDialog, &request, /*makeServer=*/true);
}

// The selection intake of one handler for a one-name drop list: the name,
// whether it is a folder, whether it is a shortcut, and a shortcut's target.
bool ReadSelection(IDataObject* data, std::wstring& path) {
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    zrv::unique_stgmedium medium;
    if (FAILED(data->GetData(&format, medium.put()))) {
        // What a failed GetData left in the medium is still the data object's.
        medium.release();
        return false;
    }
    bool read = false;
    if (void* locked = ::GlobalLock(medium.get().hGlobal)) {
        HDROP drop = static_cast<HDROP>(medium.get().hGlobal);
        wchar_t name[kPathBuffer] = {};
        SHFILEINFOW info = {};
        if (::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) >= 1 &&
            ::DragQueryFileW(drop, 0, name, kPathBuffer) > 0 && !::PathIsDirectoryW(name) &&
            ::SHGetFileInfoW(name, 0, &info, sizeof(info), SHGFI_ATTRIBUTES) != 0) {
            read = true;
            if (info.dwAttributes & SFGAO_LINK) {
                read = false;
                zrv::com_ptr<IShellLinkW> link;
                zrv::com_ptr<IPersistFile> file;
                if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL,
                                                 IID_IShellLinkW, link.put_void())) &&
                    SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.put_void())) &&
                    SUCCEEDED(file->Load(name, STGM_READ)) &&
                    SUCCEEDED(link->GetPath(name, kPathBuffer, nullptr, 0))) {
                    read = true;
                }
            }
            path = name;
        }
        ::GlobalUnlock(medium.get().hGlobal);
        (void)locked;
    }
    return read;
}

// What the three pages share and what each keeps while its dialog lives.
struct FloorPage {
    UINT id = 0;
    std::wstring path;
    HMODULE templates = nullptr;
    wchar_t title[kPathBuffer] = {};
    // General
    HICON icon = nullptr;
    HANDLE worker = nullptr;
    HWND window = nullptr;
    // Categories
    zrv::com_ptr<IAppDocumentTypes> types;
    zrv::com_ptr<IDocumentCatalog> catalog;
    zrv::com_ptr<ICategoryList> lists[2];
};

void MarkChanged(HWND page) {
    ::SendMessageW(::GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
}

// ---- General ----

// The size worker's one update for a document: its size, in the localized
// format, sent to the page.
void SendSize(FloorPage& page) {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW(page.path.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    ::FindClose(search);
    const ULONGLONG bytes =
        (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    const bool kilobytes = bytes >= 1024;
    wchar_t format[64];
    LoadLocalized(page.templates, kilobytes ? IDS_SIZE_KB_FORMAT : IDS_SIZE_BYTES_FORMAT, format,
                  64);
    wchar_t text[128];
    std::swprintf(text, 128, format, kilobytes ? bytes / 1024 : bytes);
    ::SendMessageW(page.window, WM_APP, 0, reinterpret_cast<LPARAM>(text));
}

// Its apartment lets the thread's server serve it in process, and its entry
// goes with the apartment.
unsigned __stdcall SizeWorker(void* argument) {
    auto* page = static_cast<FloorPage*>(argument);
    const bool joined = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    SendSize(*page);
    ReleaseThreadServerFloor();
    if (joined) ::CoUninitialize();
    return 0;
}

void ShowTime(HWND window, int control, const FILETIME& universal, bool dateOnlyAtMidnight) {
    FILETIME localFile;
    SYSTEMTIME local;
    if (!::FileTimeToLocalFileTime(&universal, &localFile) ||
        !::FileTimeToSystemTime(&localFile, &local)) {
        return;
    }
    wchar_t text[kPathBuffer] = {};
    int length = ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &local, nullptr, text, 128);
    const bool midnight = local.wHour == 0 && local.wMinute == 0 && local.wSecond == 0;
    if (length > 0 && !(dateOnlyAtMidnight && midnight)) {
        text[length - 1] = L' ';
        ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, text + length, 128);
    }
    ::SetDlgItemTextW(window, control, text);
}

void InitGeneral(FloorPage& page, HWND window) {
    LocalizeDialog(window, page.id);
    const wchar_t* path = page.path.c_str();
    SHFILEINFOW info = {};
    ::SHGetFileInfoW(path, 0, &info, sizeof(info), SHGFI_ICON | SHGFI_TYPENAME);
    page.icon = info.hIcon;

    page.window = window;
    page.worker = reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &SizeWorker, &page, CREATE_SUSPENDED, nullptr));
    if (page.worker) ::ResumeThread(page.worker);

    wchar_t folder[kPathBuffer];
    ::lstrcpynW(folder, path, kPathBuffer);
    wchar_t* name = ::PathFindFileNameW(folder);
    ::SetDlgItemTextW(window, IDC_GENERAL_NAME, name);
    *name = L'\0';
    ::SetDlgItemTextW(window, IDC_GENERAL_LOCATION, folder);
    ::SetDlgItemTextW(window, IDC_GENERAL_TYPE, info.szTypeName);
    ::SendDlgItemMessageW(window, IDC_GENERAL_ICON, STM_SETIMAGE, IMAGE_ICON,
                          reinterpret_cast<LPARAM>(page.icon));

    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return;
    ShowTime(window, IDC_GENERAL_ACCESSED, data.ftLastAccessTime, true);
    ShowTime(window, IDC_GENERAL_CREATED, data.ftCreationTime, false);
    ShowTime(window, IDC_GENERAL_MODIFIED, data.ftLastWriteTime, false);
    ::CheckDlgButton(window, IDC_GENERAL_HIDDEN,
                     (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(
        window, IDC_GENERAL_READONLY,
        (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? BST_CHECKED : BST_UNCHECKED);
}

void DestroyGeneral(FloorPage& page, HWND window) {
    if (page.worker) {
        // The worker may be sending its update to this very thread.
        while (::MsgWaitForMultipleObjects(1, &page.worker, FALSE, INFINITE, QS_SENDMESSAGE) ==
               WAIT_OBJECT_0 + 1) {
            MSG message;
            ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        ::CloseHandle(page.worker);
    }
    ::SendDlgItemMessageW(window, IDC_GENERAL_ICON, STM_SETIMAGE, IMAGE_ICON, 0);
    if (page.icon) ::DestroyIcon(page.icon);
}

// ---- Categories ----

// atl80.dll's hosting entry points.
struct AxHosting {
    using GetUnknownFn = HRESULT(WINAPI*)(HWND, IUnknown**);
    using CreateControlExFn = HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**, IUnknown**,
                                               REFIID, IUnknown*);
    AxHosting() {
        HMODULE atl = ::LoadLibraryW(L"atl80.dll");
        if (!atl) return;
        winInit = reinterpret_cast<BOOL(WINAPI*)()>(
            reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxWinInit")));
        getHost = reinterpret_cast<GetUnknownFn>(
            reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxGetHost")));
        getControl = reinterpret_cast<GetUnknownFn>(
            reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxGetControl")));
        createControlEx = reinterpret_cast<CreateControlExFn>(
            reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxCreateControlEx")));
    }
    BOOL(WINAPI* winInit)() = nullptr;
    GetUnknownFn getHost = nullptr;
    GetUnknownFn getControl = nullptr;
    CreateControlExFn createControlEx = nullptr;
};

const AxHosting& Hosting() {
    static const AxHosting hosting;
    return hosting;
}

// The host window's own interface; only CreateControlEx (slot 4) is called.
const IID IID_IAxWinHostWindow = {
    0xB6EA2050, 0x048A, 0x11D1, {0x82, 0xB9, 0x00, 0xC0, 0x4F, 0xB9, 0x94, 0x2E}};
struct IAxWinHostWindow : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateControl(LPCOLESTR, HWND, IStream*) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateControlEx(LPCOLESTR, HWND, IStream*, IUnknown**, REFIID,
                                                      IUnknown*) = 0;
};

// A host window of its own with the category list in it, made a child and
// then placed into its frame on the page. The window's own host object takes
// the control when it has one (Wine's windows have none until a control is
// created in them).
HWND CreateHost() {
    const AxHosting& atl = Hosting();
    const PagesContextActive context;
    HWND host = ::CreateWindowExW(0, L"AtlAxWin80", nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    if (!host || !atl.getHost || !atl.createControlEx) return host;
    zrv::com_ptr<IUnknown> object;
    zrv::com_ptr<IAxWinHostWindow> hostWindow;
    if (SUCCEEDED(atl.getHost(host, object.put())) && object &&
        SUCCEEDED(object->QueryInterface(IID_IAxWinHostWindow, hostWindow.put_void()))) {
        hostWindow->CreateControlEx(kCategoryListControlClsidText, host, nullptr, nullptr, IID_NULL,
                                    nullptr);
    } else {
        atl.createControlEx(kCategoryListControlClsidText, host, nullptr, nullptr, nullptr,
                            IID_NULL, nullptr);
    }
    ::SetWindowLongW(host, GWL_STYLE, WS_CHILD);
    return host;
}

void PlaceHost(HWND window, HWND host, int frameId) {
    HWND frame = ::GetDlgItem(window, frameId);
    RECT area = {};
    ::GetClientRect(frame, &area);
    ::SetParent(host, frame);
    ::SetWindowPos(host, HWND_TOP, 0, 0, area.right, area.bottom, SWP_NOACTIVATE);
    ::SetWindowLongW(frame, GWL_EXSTYLE,
                     ::GetWindowLongW(frame, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
}

void ShowList(HWND host, zrv::com_ptr<ICategoryList>& list, const std::wstring* document) {
    zrv::com_ptr<IUnknown> control;
    if (!Hosting().getControl || FAILED(Hosting().getControl(host, control.put())) || !control ||
        FAILED(control->QueryInterface(IID_ICategoryList, list.put_void()))) {
        return;
    }
    if (document) {
        CallText path(*document);
        list->SetDocument(path.b);
    } else {
        list->SetDocument(nullptr);
    }
    list->Configure(0);
    ::ShowWindow(host, SW_SHOWNORMAL);
}

void InitCategories(FloorPage& page, HWND window) {
    LocalizeDialog(window, page.id);
    static const int kFields[][2] = {{IDC_CATEGORIES_TITLE, DOCPROP_TITLE},
                                     {IDC_CATEGORIES_SUBJECT, DOCPROP_SUBJECT},
                                     {IDC_CATEGORIES_AUTHOR, DOCPROP_AUTHOR},
                                     {IDC_CATEGORIES_COMMENTS, DOCPROP_COMMENTS}};
    if (SUCCEEDED(::CoCreateInstance(CLSID_DocumentCatalog, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IDocumentCatalog, page.catalog.put_void()))) {
        CallText path(page.path);
        if (page.catalog->OpenDocument(path.b) >= 0) {
            for (const auto& field : kFields) {
                BSTR text = nullptr;
                page.catalog->GetStringProperty(field[1], &text);
                ::SetDlgItemTextW(window, field[0], text ? text : L"");
                ::SysFreeString(text);
            }
        }
    }
    for (const auto& field : kFields) {
        ::SendDlgItemMessageW(window, field[0], EM_LIMITTEXT, 511, 0);
    }
    HWND available = CreateHost();
    HWND assigned = CreateHost();
    PlaceHost(window, available, IDC_CATEGORIES_AVAILABLE_FRAME);
    PlaceHost(window, assigned, IDC_CATEGORIES_ASSIGNED_FRAME);
    ShowList(available, page.lists[0], nullptr);
    ShowList(assigned, page.lists[1], &page.path);
}

void ShowCategories(FloorPage& page, HWND window) {
    if (!page.catalog) return;
    bool editable = false;
    if (page.types) {
        BSTR extensions = nullptr;
        page.types->GetDocumentExtensions(&extensions);
        // The list names extensions without their dot, in lower case.
        std::wstring extension = ::PathFindExtensionW(page.path.c_str());
        if (!extension.empty()) extension.erase(0, 1);
        for (wchar_t& c : extension) c = static_cast<wchar_t>(::towlower(c));
        editable = std::wcsstr(extensions ? extensions : L"", extension.c_str()) != nullptr;
        ::SysFreeString(extensions);
    }
    CallText path(page.path);
    editable = editable && page.catalog->CanEditProperty(path.b, DOCPROP_TITLE) == 1;
    for (int id : {IDC_CATEGORIES_TITLE, IDC_CATEGORIES_SUBJECT, IDC_CATEGORIES_AUTHOR,
                   IDC_CATEGORIES_COMMENTS, IDC_CATEGORIES_ADD, IDC_CATEGORIES_REMOVE}) {
        ::EnableWindow(::GetDlgItem(window, id), editable);
    }
}

// ---- Life Cycle ----

void InitLifeCycle(FloorPage& page, HWND window) {
    LocalizeDialog(window, page.id);
    HWND list = ::GetDlgItem(window, IDC_LIFECYCLE_REMINDER);
    const UINT reminders[] = {IDS_REMINDER_NONE, IDS_REMINDER_7_DAYS, IDS_REMINDER_14_DAYS};
    for (DWORD value = 0; value < 3; ++value) {
        wchar_t text[kPathBuffer];
        LoadLocalized(page.templates, reminders[value], text, kPathBuffer);
        const LRESULT index = ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        ::SendMessageW(list, CB_SETITEMDATA, index, value);
    }
    ::SendMessageW(list, CB_SETCURSEL, 0, 0);

    bool custom = false;
    if (SUCCEEDED(::CoCreateInstance(CLSID_DocumentCatalog, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IDocumentCatalog, page.catalog.put_void()))) {
        CallText path(page.path);
        if (SUCCEEDED(page.catalog->OpenDocument(path.b))) {
            PROPVARIANT value;
            ::PropVariantInit(&value);
            if (SUCCEEDED(page.catalog->GetProperty(DOCPROP_EXPIRATION, &value)) &&
                value.filetime.dwLowDateTime != 0 && value.filetime.dwHighDateTime != 0) {
                HWND picker = ::GetDlgItem(window, IDC_LIFECYCLE_CUSTOM_DATE);
                SYSTEMTIME date = {};
                SYSTEMTIME shown = {};
                // The picker may keep showing its old date: what it shows is read back.
                if (::FileTimeToSystemTime(&value.filetime, &date) &&
                    DateTime_SetSystemtime(picker, GDT_VALID, &date) &&
                    DateTime_GetSystemtime(picker, &shown) == GDT_VALID) {
                    ::ShowWindow(picker, SW_SHOW);
                }
                ::CheckRadioButton(window, IDC_LIFECYCLE_EXPIRE_NONE, IDC_LIFECYCLE_EXPIRE_CUSTOM,
                                   IDC_LIFECYCLE_EXPIRE_CUSTOM);
                custom = true;
            }
            ::PropVariantClear(&value);
            if (SUCCEEDED(page.catalog->GetProperty(DOCPROP_REMINDER, &value))) {
                ::SendMessageW(list, CB_SETCURSEL, value.ulVal < 3 ? value.ulVal : WPARAM(-1), 0);
            }
            ::PropVariantClear(&value);
            if (SUCCEEDED(page.catalog->GetProperty(DOCPROP_BURN_DISC, &value))) {
                ::CheckDlgButton(window, IDC_LIFECYCLE_BURN_DISC,
                                 value.ulVal ? BST_CHECKED : BST_UNCHECKED);
            }
            ::PropVariantClear(&value);
        }
    }
    if (!custom) {
        ::CheckRadioButton(window, IDC_LIFECYCLE_EXPIRE_NONE, IDC_LIFECYCLE_EXPIRE_CUSTOM,
                           IDC_LIFECYCLE_EXPIRE_NONE);
    }
}

void ShowLifeCycle(FloorPage& page, HWND window) {
    if (!page.catalog) return;
    CallText path(page.path);
    const bool editable = page.catalog->CanEditProperty(path.b, DOCPROP_EXPIRATION) == 1;
    const bool none = ::IsDlgButtonChecked(window, IDC_LIFECYCLE_EXPIRE_NONE) == BST_CHECKED;
    const bool custom = ::IsDlgButtonChecked(window, IDC_LIFECYCLE_EXPIRE_CUSTOM) == BST_CHECKED;
    for (int id = IDC_LIFECYCLE_EXPIRE_NONE; id <= IDC_LIFECYCLE_EXPIRE_CUSTOM; ++id) {
        ::EnableWindow(::GetDlgItem(window, id), editable);
    }
    ::EnableWindow(::GetDlgItem(window, IDC_LIFECYCLE_CUSTOM_DATE), editable && custom);
    ::EnableWindow(::GetDlgItem(window, IDC_LIFECYCLE_REMINDER), editable && !none);
    ::EnableWindow(::GetDlgItem(window, IDC_LIFECYCLE_BURN_DISC), editable && !none);
}

// ---- The pages' one dialog procedure ----

INT_PTR CALLBACK FloorDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* page =
            reinterpret_cast<FloorPage*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(page));
        if (page->id == IDD_GENERAL_PAGE) InitGeneral(*page, window);
        if (page->id == IDD_CATEGORIES_PAGE) InitCategories(*page, window);
        if (page->id == IDD_LIFECYCLE_PAGE) InitLifeCycle(*page, window);
        return TRUE;
    }
    auto* page = reinterpret_cast<FloorPage*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!page) return FALSE;
    switch (message) {
        case WM_SHOWWINDOW:
            if (wParam && page->id == IDD_CATEGORIES_PAGE) ShowCategories(*page, window);
            if (wParam && page->id == IDD_LIFECYCLE_PAGE) ShowLifeCycle(*page, window);
            return FALSE;
        case WM_COMMAND:
            // The Categories page's texts count as changed when they are filled in.
            if (page->id == IDD_CATEGORIES_PAGE && HIWORD(wParam) == EN_UPDATE) {
                MarkChanged(window);
            }
            return FALSE;
        case WM_APP:
            ::SetDlgItemTextW(window, IDC_GENERAL_SIZE, reinterpret_cast<const wchar_t*>(lParam));
            return TRUE;
        case WM_DESTROY:
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            if (page->id == IDD_GENERAL_PAGE) DestroyGeneral(*page, window);
            return FALSE;
        default:
            return FALSE;
    }
}

// The thread's server goes with its last page, as the pages' apartment
// would let it go.
thread_local int t_livePages = 0;

UINT CALLBACK FloorPageCallback(HWND, UINT message, PROPSHEETPAGEW* info) {
    if (message == PSPCB_RELEASE) {
        delete reinterpret_cast<FloorPage*>(info->lParam);
        if (--t_livePages == 0) ReleaseThreadServerFloor();
    }
    return 1;
}

}  // namespace

HWND OpenDesignFloorSheet(const std::wstring& document, HMODULE templates, size_t* pagesAdded) {
    zrv::com_ptr<IDataObject> data;
    if (FAILED(zrvproduct::CreateDropDataObject({document}, data.put()))) return nullptr;
    std::vector<HPROPSHEETPAGE> pages;
    // The pages are made by version 6 common controls, in its context. Wine
    // gives this program version 6 controls without it as well: what the
    // context adds is being active while the pages' dialogs are made, as it
    // is for the module's pages.
    using CreatePageFn = HPROPSHEETPAGE(WINAPI*)(LPCPROPSHEETPAGEW);
    using DestroyPageFn = BOOL(WINAPI*)(HPROPSHEETPAGE);
    CreatePageFn createPage = nullptr;
    DestroyPageFn destroyPage = nullptr;
    HMODULE commonControls = nullptr;
    {
        const PagesContextActive context;
        commonControls = ::LoadLibraryW(L"comctl32.dll");
        createPage = reinterpret_cast<CreatePageFn>(
            reinterpret_cast<void*>(::GetProcAddress(commonControls, "CreatePropertySheetPageW")));
        destroyPage = reinterpret_cast<DestroyPageFn>(
            reinterpret_cast<void*>(::GetProcAddress(commonControls, "DestroyPropertySheetPage")));
    }
    for (UINT id : {IDD_GENERAL_PAGE, IDD_CATEGORIES_PAGE, IDD_LIFECYCLE_PAGE}) {
        auto* page = new FloorPage;
        ++t_livePages;
        page->id = id;
        page->templates = templates;
        LoadLocalized(templates, id, page->title, kPathBuffer);
        PROPSHEETPAGEW info = {};
        info.dwSize = sizeof(info);
        info.dwFlags = PSP_USETITLE | PSP_USEICONID | PSP_USECALLBACK;
        info.hInstance = templates;
        info.pszTemplate = MAKEINTRESOURCEW(id);
        info.pszIcon = MAKEINTRESOURCEW(id);
        info.pszTitle = page->title;
        info.pfnDlgProc = &FloorDialogProc;
        info.pfnCallback = &FloorPageCallback;
        info.lParam = reinterpret_cast<LPARAM>(page);
        if (PagesContext() != INVALID_HANDLE_VALUE) {
            info.dwFlags |= PSP_USEFUSIONCONTEXT;
            info.hActCtx = PagesContext();
        }
        HPROPSHEETPAGE handle = nullptr;
        if (createPage) {
            const PagesContextActive context;
            handle = createPage(&info);
        }
        if (id == IDD_CATEGORIES_PAGE) {
            // The host window class, registered once for each of the two lists.
            for (int list = 0; list < 2; ++list) {
                if (Hosting().winInit) Hosting().winInit();
            }
            ::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IAppDocumentTypes, page->types.put_void());
        }
        if (!ReadSelection(data.get(), page->path) || !handle) {
            if (handle && destroyPage) {
                destroyPage(handle);
            } else {
                delete page;
                --t_livePages;
            }
            continue;
        }
        pages.push_back(handle);
    }
    if (pagesAdded) *pagesAdded = pages.size();
    HWND sheet = zrvproduct::CreateModelessSheet(document, pages);
    if (commonControls) ::FreeLibrary(commonControls);
    return sheet;
}

}  // namespace zrvbench
