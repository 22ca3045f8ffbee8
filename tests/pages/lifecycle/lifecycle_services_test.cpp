// What the page asks of the product and the shell besides the store: its
// help topic, its texts in the product's language, and the shell's change
// notification after Apply.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <thread>

#include "common/test_paths.h"
#include "localization/localizer.h"
#include "pages/lifecycle/lifecycle_fixture.h"
#include "support/module_instance.h"

using namespace zrvlifecycletest;
using zrvtest::Click;

namespace {

constexpr UINT kShellChanged = WM_APP + 40;

// Collects the paths of SHCNE_UPDATEITEM notifications for one folder tree.
class ShellChangeListener {
  public:
    explicit ShellChangeListener(const std::wstring& folder) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = &WindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"LifeCycleShellListener";
        ::RegisterClassW(&windowClass);
        m_window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, windowClass.hInstance, this);
        m_folder = ::ILCreateFromPathW(folder.c_str());
        SHChangeNotifyEntry entry = {m_folder, TRUE};
        m_registration = ::SHChangeNotifyRegister(
            m_window, SHCNRF_ShellLevel | SHCNRF_InterruptLevel | SHCNRF_NewDelivery,
            SHCNE_UPDATEITEM, kShellChanged, 1, &entry);
    }
    ~ShellChangeListener() {
        if (m_registration) ::SHChangeNotifyDeregister(m_registration);
        if (m_window) ::DestroyWindow(m_window);
        ::ILFree(m_folder);
    }
    bool ok() const { return m_window && m_registration; }
    std::vector<std::wstring> Collect() {
        const DWORD start = ::GetTickCount();
        MSG message;
        while (::GetTickCount() - start < 500) {
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
            ::Sleep(10);
        }
        return m_paths;
    }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self =
            reinterpret_cast<ShellChangeListener*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == kShellChanged && self) {
            PIDLIST_ABSOLUTE* items = nullptr;
            LONG event = 0;
            HANDLE lock = ::SHChangeNotification_Lock(reinterpret_cast<HANDLE>(wParam),
                                                      static_cast<DWORD>(lParam), &items, &event);
            if (lock) {
                wchar_t path[MAX_PATH] = {};
                if (event == SHCNE_UPDATEITEM && items && items[0] &&
                    ::SHGetPathFromIDListW(items[0], path)) {
                    self->m_paths.emplace_back(path);
                }
                ::SHChangeNotification_Unlock(lock);
            }
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND m_window = nullptr;
    PIDLIST_ABSOLUTE m_folder = nullptr;
    ULONG m_registration = 0;
    std::vector<std::wstring> m_paths;
};

// Runs body on a thread of its own, in its own apartment, as a second
// browser window would; the thread's localizer goes with it.
void OnNewThread(const std::function<void()>& body) {
    std::thread thread([&] {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        body();
        ForgetLocalizerRegistrations(false);
        ::CoUninitialize();
    });
    thread.join();
}

TEST_F(LifeCycleTest, HelpShowsTheLifeCycleTopicForThePage) {
    const std::wstring log = m_folder + L"\\help.log";
    ::SetEnvironmentVariableW(L"ZRV_HELP_LOG", log.c_str());
    auto sheet = Open({Document(L"help.doc")});
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    HELPINFO info = {};
    info.cbSize = sizeof(info);
    ::SendMessageW(page, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    ::SetEnvironmentVariableW(L"ZRV_HELP_LOG", nullptr);

    char expected[64];
    std::snprintf(expected, sizeof(expected), "ZRVHelp.chm|lifecycle_opt.htm|0x%08lX",
                  static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(page)));
    const std::string requests = zrvtest::ReadFileBytes(log);
    EXPECT_NE(std::string::npos, requests.find(expected)) << requests;
}

TEST_F(LifeCycleTest, ReminderChoicesAndLabelsComeInTheProductLanguage) {
    const std::wstring path = Document(L"deutsch.doc");
    // The catalogs know the module by the built DLL's name, not this
    // program's: lookups here must name it so.
    HMODULE module = ::LoadLibraryW(zrvtest::ModulePath().c_str());
    ASSERT_TRUE(module);
    zrv::SetResourceInstance(module);
    ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", L"de");
    std::vector<std::wstring> reminders;
    std::wstring customLabel;
    OnNewThread([&] {
        auto sheet = Open({path});
        HWND page = sheet->Page(0);
        if (!page) return;
        reminders = ReminderTexts(page);
        customLabel = zrvtest::WindowText(::GetDlgItem(page, kCustomDate));
    });
    ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", nullptr);
    zrv::SetResourceInstance(::GetModuleHandleW(nullptr));
    ::FreeLibrary(module);
    EXPECT_EQ((std::vector<std::wstring>{L"Keine", L"7 Tage", L"14 Tage"}), reminders);
    EXPECT_EQ(L"bis Datum:", customLabel);
}

TEST_F(LifeCycleTest, ApplyAnnouncesTheFirstDocumentToTheShell) {
    ShellChangeListener listener(m_folder);
    ASSERT_TRUE(listener.ok());
    const std::wstring first = Document(L"announced.doc");
    const std::wstring second = Document(L"quiet.doc");
    auto sheet = Open({first, second});
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    Click(page, kThreeYears);
    sheet->Apply();

    const std::vector<std::wstring> announced = listener.Collect();
    ASSERT_EQ(1u, announced.size());
    EXPECT_EQ(0, _wcsicmp(first.c_str(), announced[0].c_str()));
}

}  // namespace
