// The shipped German catalog against the module's own resources: every text
// of the three page templates and every string the pages load must have a
// German answer under the key the module will ask for.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "appservices/appservices_fixtures.h"
#include "common/test_paths.h"
#include "components/component_ids.h"

using namespace zrvappsvctest;

namespace {

struct ControlText {
    int id;
    std::wstring text;
};

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

BOOL CALLBACK CollectDirectChild(HWND child, LPARAM param) {
    auto* controls = reinterpret_cast<std::vector<ControlText>*>(param);
    // A date picker's text is the date it shows, not a text of the template:
    // its lookup finds nothing and the date stays.
    wchar_t className[64] = {};
    ::GetClassNameW(child, className, 64);
    if (::lstrcmpiW(className, DATETIMEPICK_CLASSW) == 0) return TRUE;
    wchar_t text[260] = {};
    ::GetWindowTextW(child, text, 260);
    controls->push_back({::GetDlgCtrlID(child), text});
    return TRUE;
}

// The direct children of the template's dialog that the localizer is asked
// about: those with a text and a non-zero id.
std::vector<ControlText> TemplateTexts(HMODULE module, int dialogId, HWND parent) {
    std::vector<ControlText> controls;
    HWND dialog =
        ::CreateDialogParamW(module, MAKEINTRESOURCEW(dialogId), parent, QuietDialogProc, 0);
    if (!dialog) return controls;
    std::vector<ControlText> all;
    ::EnumChildWindows(dialog, CollectDirectChild, reinterpret_cast<LPARAM>(&all));
    for (const ControlText& control : all) {
        if (!control.text.empty() && control.id != 0) controls.push_back(control);
    }
    ::DestroyWindow(dialog);
    return controls;
}

std::string Narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t c : text) result.push_back(c < 128 ? static_cast<char>(c) : '?');
    return result;
}

}  // namespace

TEST(GermanCatalog, TranslatesEveryTextOfThePages) {
    ScopedEnvironment language(L"ZRV_LANGUAGE", L"de");
    ScopedEnvironment extra(L"ZRV_CATALOG_EXTRA", nullptr);
    zrv::com_ptr<IUnknown> localizer = CreateAppServices(CLSCTX_INPROC_SERVER, IID_IAppLocalizer);
    ASSERT_TRUE(localizer);

    HMODULE module =
        ::LoadLibraryExW(zrvtest::ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&icc);
    HWND parent = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 600, 600, nullptr,
                                    nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);

    for (int stringId : {105, 106, 107, 1009, 1010, 1011, 1036, 1037, 1050, 1051, 1052}) {
        wchar_t english[260] = {};
        ASSERT_GT(::LoadStringW(module, stringId, english, 260), 0) << "string " << stringId;
        const Answer german = GetModuleString(localizer.get(), L"ZRVPropHelper",
                                              std::to_wstring(stringId).c_str(), english);
        EXPECT_EQ(S_OK, german.hr) << "string " << stringId << " " << Narrow(english);
        EXPECT_FALSE(german.text.empty()) << "string " << stringId;
        // The size formats are handed a 64-bit number: the translation must
        // keep exactly the one conversion of the English text.
        if (std::wstring(english).find(L'%') != std::wstring::npos) {
            EXPECT_EQ(german.text.find(L"%I64u"), german.text.rfind(L'%'))
                << "string " << stringId << " " << Narrow(german.text);
            EXPECT_NE(std::wstring::npos, german.text.find(L"%I64u"));
        }
    }

    const std::pair<int, size_t> dialogs[] = {{105, 9}, {106, 7}, {107, 9}};
    for (const auto& [dialogId, textCount] : dialogs) {
        const std::vector<ControlText> controls = TemplateTexts(module, dialogId, parent);
        EXPECT_EQ(textCount, controls.size()) << "dialog " << dialogId;
        const std::wstring dialog = std::to_wstring(dialogId);
        for (const ControlText& control : controls) {
            const Answer german =
                GetDialogString(localizer.get(), L"ZRVPropHelper", dialog.c_str(),
                                std::to_wstring(control.id).c_str(), control.text.c_str());
            EXPECT_EQ(S_OK, german.hr) << "dialog " << dialogId << " control " << control.id << " "
                                       << Narrow(control.text);
            EXPECT_FALSE(german.text.empty()) << "dialog " << dialogId << " control " << control.id;
        }
        // The templates' captions are empty and stay so.
        EXPECT_EQ(
            kNoTranslation,
            GetDialogString(localizer.get(), L"ZRVPropHelper", dialog.c_str(), L"caption", L"").hr);
    }

    ::DestroyWindow(parent);
    ::FreeLibrary(module);
}
