// Localizing the three page templates: captions, control texts and fonts.

#include <windows.h>

#include <gtest/gtest.h>

#include "common/localizer_map_host.h"
#include "localization/fake_localizer.h"
#include "localization/localize_dialog.h"
#include "localization/localizer.h"
#include "localization/map_fixture.h"

using namespace zrvtest;

namespace {

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// A page dialog from the module's template, inside a hidden owner window.
class TemplateDialog {
  public:
    explicit TemplateDialog(int id) {
        m_owner = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 600, 600, nullptr, nullptr,
                                    nullptr, nullptr);
        m_dialog = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), m_owner,
                                        &QuietProc, 0);
    }
    ~TemplateDialog() {
        if (m_dialog) ::DestroyWindow(m_dialog);
        ::DestroyWindow(m_owner);
    }
    HWND get() const { return m_dialog; }
    std::wstring Text(int id) const {
        wchar_t text[400] = {};
        ::GetDlgItemTextW(m_dialog, id, text, 400);
        return text;
    }

  private:
    HWND m_owner = nullptr;
    HWND m_dialog = nullptr;
};

struct ChildInfo {
    HWND window;
    int id;
    std::wstring text;
};

std::vector<ChildInfo> DirectChildren(HWND dialog) {
    std::vector<ChildInfo> children;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[400] = {};
        ::GetWindowTextW(child, text, 400);
        children.push_back({child, ::GetDlgCtrlID(child), text});
    }
    return children;
}

class DialogLocalization : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(host.ok()); }
    void OnThread(const std::function<void()>& body) {
        RunOnNewThread([&] {
            body();
            ForgetLocalizerRegistrations(false);
        });
    }
    zrvproduct::LocalizerMapHost host;
};

TEST_F(DialogLocalization, GermanCatalogTranslatesEveryTextAndSetsTheFont) {
    ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", L"de");
    OnThread([] {
        HGDIOBJ guiFont = ::GetStockObject(DEFAULT_GUI_FONT);
        for (int id : {105, 106, 107}) {
            TemplateDialog dialog(id);
            ASSERT_TRUE(dialog.get()) << id;
            const std::vector<ChildInfo> english = DirectChildren(dialog.get());
            LocalizeDialog(dialog.get(), id);
            const std::vector<ChildInfo> german = DirectChildren(dialog.get());
            ASSERT_EQ(english.size(), german.size());
            for (size_t i = 0; i < german.size(); ++i) {
                // Icons and etched lines keep no font to report.
                wchar_t className[32] = {};
                ::GetClassNameW(german[i].window, className, 32);
                if (!english[i].text.empty() || lstrcmpiW(className, L"Static") != 0) {
                    EXPECT_EQ(reinterpret_cast<WPARAM>(guiFont),
                              ::SendMessageW(german[i].window, WM_GETFONT, 0, 0))
                        << "dialog " << id << " control " << german[i].id;
                }
                // The arrows read the same in every language, and the date
                // picker's text is its date.
                const bool neutral = english[i].text == L">>" || english[i].text == L"<<" ||
                                     lstrcmpiW(className, L"SysDateTimePick32") == 0;
                if (!english[i].text.empty() && !neutral) {
                    EXPECT_NE(english[i].text, german[i].text)
                        << "dialog " << id << " control " << german[i].id << " kept its English";
                    EXPECT_FALSE(german[i].text.empty());
                }
            }
        }
        TemplateDialog general(105);
        LocalizeDialog(general.get(), 105);
        EXPECT_EQ(L"Typ:", general.Text(1025));
        EXPECT_EQ(L"", general.Text(1030)) << "an empty edit box gets the font only";
        TemplateDialog categories(106);
        LocalizeDialog(categories.get(), 106);
        EXPECT_EQ(L"&Titel:", categories.Text(406));
    });
    ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", nullptr);
}

TEST_F(DialogLocalization, AnswersAreAppliedByTheirRules) {
    OnThread([] {
        FakeLocalizer fake;
        fake.answers[L"105|caption"] = {S_OK, false, L""};  // empties the caption
        fake.answers[L"105|1025"] = {S_OK, false, L""};     // keeps "Type:"
        fake.answers[L"105|1024"] = {S_OK, true, L""};      // keeps "Location:"
        fake.answers[L"105|1026"] = {S_OK, false, L"Taille:"};
        fake.answers[L"105|1027"] = {E_FAIL, false, L"ignored"};
        FakeRegistration registration(fake);
        ASSERT_TRUE(registration.ok());

        TemplateDialog dialog(105);
        ::SetWindowTextW(dialog.get(), L"Old caption");
        const std::wstring longText(300, L'x');
        ::SetDlgItemTextW(dialog.get(), 1028, longText.c_str());
        // A grandchild: neither looked up nor given the font.
        HWND grandchild = ::CreateWindowExW(0, L"STATIC", L"inner", WS_CHILD, 0, 0, 5, 5,
                                            ::GetDlgItem(dialog.get(), 1033),
                                            reinterpret_cast<HMENU>(4711), nullptr, nullptr);
        LocalizeDialog(dialog.get(), 105);

        wchar_t caption[64] = L"unchanged";
        ::GetWindowTextW(dialog.get(), caption, 64);
        EXPECT_STREQ(L"", caption) << "a successful empty answer empties the caption";
        EXPECT_EQ(L"Type:", dialog.Text(1025)) << "a successful empty answer keeps a control";
        EXPECT_EQ(L"Location:", dialog.Text(1024));
        EXPECT_EQ(L"Taille:", dialog.Text(1026));
        EXPECT_EQ(L"Created:", dialog.Text(1027));
        EXPECT_NE(reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                  ::SendMessageW(grandchild, WM_GETFONT, 0, 0));

        bool sawCaption = false, sawLong = false;
        for (const std::wstring& call : fake.calls) {
            EXPECT_EQ(std::wstring::npos, call.find(L"|4711|")) << "grandchild looked up";
            EXPECT_EQ(std::wstring::npos, call.find(L"|1030|")) << "empty edit looked up";
            if (call.find(L"|105|caption|Old caption") != std::wstring::npos) sawCaption = true;
            if (call.find(L"|105|1028|" + std::wstring(259, L'x')) != std::wstring::npos &&
                call.size() == call.find(L"|105|1028|") + 10 + 259) {
                sawLong = true;
            }
        }
        EXPECT_TRUE(sawCaption);
        EXPECT_TRUE(sawLong) << "a long text is passed as its first 259 characters";

        const size_t before = fake.calls.size();
        LocalizeDialog(reinterpret_cast<HWND>(0x1234), 105);
        EXPECT_EQ(before, fake.calls.size()) << "no window, no lookup";
    });
}

TEST_F(DialogLocalization, SharedIdLabelsAreLookedUpAsMinusOne) {
    OnThread([] {
        FakeLocalizer fake;
        fake.answers[L"106|-1"] = {S_OK, false, L"Kommentare:"};
        FakeRegistration registration(fake);
        TemplateDialog dialog(106);
        LocalizeDialog(dialog.get(), 106);
        bool found = false;
        for (const ChildInfo& child : DirectChildren(dialog.get())) {
            if (child.id == -1 || child.id == 0xFFFF) found |= child.text == L"Kommentare:";
        }
        EXPECT_TRUE(found);
    });
}

}  // namespace
