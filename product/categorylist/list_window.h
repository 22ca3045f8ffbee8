#pragma once
// The control's window: a frame that the host positions, filled by a
// multiple-selection list box (extended selection: click, Shift and Ctrl as
// everywhere else in the product). Items keep the order they are given.

#include <windows.h>

#include <string>
#include <vector>

namespace zrvcatlist {

class CategoryListWindow {
  public:
    class Owner {
      public:
        // A refresh asked for with RequestRefresh is due: the message queue
        // has come round to it, outside any caller that was busy then.
        virtual void OnRefreshDue() noexcept = 0;

      protected:
        ~Owner() = default;
    };

    explicit CategoryListWindow(Owner* owner) noexcept : m_owner(owner) {}
    CategoryListWindow(const CategoryListWindow&) = delete;
    CategoryListWindow& operator=(const CategoryListWindow&) = delete;
    ~CategoryListWindow() { Destroy(); }

    // A visible child of parent at position (parent's client coordinates).
    HRESULT Create(HWND parent, const RECT& position) noexcept;
    void Destroy() noexcept;

    HWND Handle() const noexcept { return m_frame; }
    void Move(const RECT& position) noexcept;

    // Replaces the items; names that stay keep their selection, and the
    // list keeps its scroll position as far as it can.
    void Fill(const std::vector<std::wstring>& names);
    // The selected items' texts, top to bottom.
    std::vector<std::wstring> SelectedTexts() const;

    // Several requests before the queue gets round to them make one refresh.
    void RequestRefresh() noexcept;

    // For the DLL's unloading: no window of the class may exist then.
    static void UnregisterWindowClass() noexcept;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    std::vector<int> SelectedIndexes() const;

    Owner* m_owner;
    HWND m_frame = nullptr;
    HWND m_list = nullptr;
    bool m_refreshPosted = false;
};

}  // namespace zrvcatlist
