#pragma once
// A page whose operations record how the dialog procedure called them.

#include <functional>
#include <string>
#include <vector>

#include "pages/prop_page.h"
#include "resources/resource.h"

namespace zrvtest {

class RecordingPage : public CZRVPropPage {
  public:
    explicit RecordingPage(UINT pageId = IDD_GENERAL_PAGE) : CZRVPropPage(pageId) { ++alive; }

    BOOL OnInitDialog() noexcept override { return Log(L"init"), initResult; }
    BOOL OnDestroy() noexcept override {
        selectionSeenAtDestroy = selection.size();
        return Log(L"destroy"), TRUE;
    }
    LRESULT OnApply() noexcept override {
        if (refuseApply) RefuseApplyIfChangeLost(true, IDS_GENERAL_NOT_SAVED);
        return Log(L"apply"), 7;
    }
    LRESULT OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override {
        Log(L"user " + std::to_wstring(message) + L" " + std::to_wstring(wParam) + L" " +
            std::to_wstring(lParam));
        return 11;
    }
    LRESULT OnNotify(NMHDR* header) noexcept override {
        Log(L"notify " + std::to_wstring(static_cast<int>(header->code)));
        return 13;
    }
    LRESULT OnCommand(WPARAM wParam, WORD notification) noexcept override {
        Log(L"command " + std::to_wstring(wParam) + L" " + std::to_wstring(notification));
        return 17;
    }
    void OnHelp() noexcept override { Log(L"help"); }
    void OnShow() noexcept override { Log(L"show"); }
    void OnTimer(UINT_PTR id) noexcept override { Log(L"timer " + std::to_wstring(id)); }

    // Exposed for tests.
    using CZRVPropPage::SetModified;

    std::wstring Take() {
        std::wstring all;
        for (const auto& c : calls) all += (all.empty() ? L"" : L"; ") + c;
        calls.clear();
        return all;
    }

    BOOL initResult = TRUE;
    bool refuseApply = false;
    size_t selectionSeenAtDestroy = 0;
    std::vector<std::wstring> calls;
    static inline int alive = 0;

  protected:
    ~RecordingPage() override { --alive; }

  private:
    void Log(const std::wstring& call) { calls.push_back(call); }
};

}  // namespace zrvtest
