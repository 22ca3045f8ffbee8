#pragma once
// What the document browser does to show a properties dialog: find the
// registered handlers, hand each the selection, collect their pages, and
// build a property sheet from them. The tests drive the same code.

#include <windows.h>
#include <prsht.h>

#include <string>
#include <vector>

namespace zrvproduct {

struct HandlerOutcome {
    CLSID clsid;
    HRESULT create = E_FAIL;
    HRESULT initialize = E_FAIL;
    HRESULT addPages = E_FAIL;  // stays E_FAIL when Initialize failed
};

struct CollectedPages {
    std::vector<HandlerOutcome> handlers;
    std::vector<HPROPSHEETPAGE> pages;
};

// Class ids under HKCR\*\KestrEx\PropertySheetHandlers, in registry order.
std::vector<CLSID> RegisteredHandlers();

// Creates every handler, calls Initialize with a CF_HDROP data object of the
// paths, AddPages only after a successful Initialize, then releases it.
CollectedPages CollectPages(const std::vector<std::wstring>& paths);

// Destroys page handles that never reached a sheet.
void DestroyPages(std::vector<HPROPSHEETPAGE>& pages);

// A modeless sheet titled after the first path's file name; the sheet owns
// the pages from here on. Null on failure (the pages are destroyed then).
HWND CreateModelessSheet(const std::wstring& firstPath, std::vector<HPROPSHEETPAGE>& pages,
                         HWND owner = nullptr);

// Runs the sheet's dialog messages until none are waiting.
void PumpMessages(HWND sheet);
// Runs them for a while, so that the pages settle: their own messages, and
// anything a worker sends or posts meanwhile.
void PumpMessagesFor(HWND sheet, DWORD milliseconds);

// Saves what the screen shows of a window as a PNG file.
HRESULT SaveWindowPng(HWND window, const std::wstring& path);
// The same for the smallest area that holds both windows (a sheet and the
// message box it shows).
HRESULT SaveWindowsPng(HWND first, HWND second, const std::wstring& path);

}  // namespace zrvproduct
