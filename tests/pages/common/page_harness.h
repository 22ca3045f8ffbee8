#pragma once
// Shows the module's pages in a real modeless property sheet, the way the
// browser does, and lets a test drive them: open tabs, read and change
// controls, press Apply, close.

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "handlers/prop_sheet_handlers.h"
#include "module/class_factory.h"

namespace zrvtest {

class PageSheet {
  public:
    // Creates each handler, gives it the paths, adds its page when Initialize
    // succeeds, and shows the sheet with the first page open.
    PageSheet(const std::vector<ObjectCreator>& handlers, const std::vector<std::wstring>& paths);
    PageSheet(const PageSheet&) = delete;
    PageSheet& operator=(const PageSheet&) = delete;
    ~PageSheet();

    bool ok() const { return m_sheet != nullptr; }
    HWND sheet() const { return m_sheet; }
    const std::vector<HRESULT>& initializeResults() const { return m_initialize; }
    int pageCount() const;

    // Opens tab index and answers its page window.
    HWND Page(int index);
    HWND Control(int index, int id) { return ::GetDlgItem(Page(index), id); }
    // Runs the sheet's messages for at least ms milliseconds.
    void Pump(DWORD ms = 0);
    // Presses Apply, as the user would. A message box a page shows meanwhile
    // is answered with OK, and its text kept for Messages().
    void Apply();
    // Presses OK the same way; true when the sheet ended.
    bool Ok();
    // Presses Cancel; true when the sheet ended.
    bool Cancel();
    // The texts of the message boxes answered since the last call.
    std::vector<std::wstring> Messages();
    // The sheet's Apply button is enabled (some page reported changes).
    bool ApplyEnabled() const;
    void Close();

  private:
    bool Press(int button);

    HWND m_sheet = nullptr;
    std::vector<HRESULT> m_initialize;
    std::vector<std::wstring> m_messages;
};

std::wstring WindowText(HWND window);
// A text of the module's string table, in English, as the page shows it.
std::wstring ModuleString(UINT id);
// Clicks a button of a page (BM_CLICK) and lets the sheet react.
void Click(HWND page, int id);
// Types text into an edit control of a page (WM_SETTEXT plus the EN_UPDATE
// and EN_CHANGE a keyboard edit would cause).
void Type(HWND page, int id, const std::wstring& text);
bool IsChecked(HWND page, int id);

}  // namespace zrvtest
