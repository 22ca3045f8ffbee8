#pragma once
// Answers the message boxes that a sheet's pages show while a script drives
// the sheet. A page that could not save tells the user from inside its
// Apply and waits in the box's own modal loop, where nothing scripted would
// ever press a button: while a watch lives, a timer of the calling thread
// (which runs in that loop too) looks for a box owned by the sheet, hands it
// to the watcher, and answers it with OK.

#include <windows.h>

#include <functional>
#include <string>

namespace zrvproduct {

class MessageBoxWatch {
  public:
    using Seen = std::function<void(HWND box, const std::wstring& text)>;

    // A box is seen once it has been up for settleMs (so that a picture of
    // it shows it painted), then answered. One watch per thread at a time.
    MessageBoxWatch(HWND sheet, Seen seen, DWORD settleMs = 0);
    MessageBoxWatch(const MessageBoxWatch&) = delete;
    MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;
    ~MessageBoxWatch();

  private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void Look();

    HWND m_sheet;
    Seen m_seen;
    DWORD m_settleMs;
    UINT_PTR m_timer = 0;
    HWND m_box = nullptr;  // up, not yet seen
    DWORD m_boxSince = 0;
    HWND m_answered = nullptr;  // OK posted, maybe not yet gone
};

// The text a message box shows.
std::wstring MessageBoxText(HWND box);

}  // namespace zrvproduct
