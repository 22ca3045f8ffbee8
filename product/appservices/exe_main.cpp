// ZRVAppServices.exe, the local AppServices server.
//
//   ZRVAppServices.exe /RegServer     register the server and the localizer's type library
//   ZRVAppServices.exe /UnregServer   undo that
//   ZRVAppServices.exe -Embedding     serve (how the system starts it for a client)
//
// Exit codes: 0 done, 1 failed, 2 unknown command line.

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <string>

#include "appservices/app_services.h"
#include "appservices/interface_pins.h"
#include "appservices/server_registration.h"
#include "appservices/server_state.h"
#include "appservices/settings.h"
#include "components/component_ids.h"
#include "support/class_factory.h"
#include "support/handles.h"

namespace {

// How long the server waits for its first client after starting, and stays
// after its last object went away: a client that creates an object for each
// request (as the localizer does when there is no shared map) then reuses
// the running server instead of starting a new one each time.
constexpr UINT kStartupGraceMs = 10000;
constexpr UINT kDefaultIdleGraceMs = 2000;
// After the revocation: long enough for a client that was handed the class
// object just before it to reach CreateInstance.
constexpr UINT kDrainMs = 200;
constexpr UINT kIdleMessage = WM_APP + 1;
// A client that ends without releasing its objects (killed, or crashed)
// leaves them alive here for good: Wine releases nothing on behalf of a dead
// client, and the server cannot learn which process holds an object. The
// product's clients hold an object only for the few calls they make, so
// objects that nothing has created, released or called for this long are
// taken to be left by ended clients, as COM's own pinging takes them after
// about six minutes; a server lock is never taken for left behind.
constexpr UINT kDefaultUnusedMs = 360000;
constexpr UINT kUnusedCheckMs = 1000;

// CoRegisterClassObject keeps a reference on the class object for as long as
// it is registered: that reference must not keep the process running, so no
// reference locks the server here; only objects and LockServer do.
zrv::ClassFactory g_factory(&zrv::PlainCreator<&zrvappsvc::CAppServices::Create>,
                            {&zrvappsvc::LockServer, &zrvappsvc::UnlockServer},
                            zrv::Aggregation::Refused, zrv::ClientReferences::LockNothing);
DWORD g_mainThread = 0;

void PostIdle() { ::PostThreadMessageW(g_mainThread, kIdleMessage, 0, 0); }

enum class Command { Register, Unregister, Serve, Unknown };

Command ParseCommand() {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) return Command::Unknown;
    Command command = Command::Unknown;
    if (argc == 2 && (argv[1][0] == L'/' || argv[1][0] == L'-')) {
        const wchar_t* word = argv[1] + 1;
        if (::lstrcmpiW(word, L"RegServer") == 0) command = Command::Register;
        if (::lstrcmpiW(word, L"UnregServer") == 0) command = Command::Unregister;
        if (::lstrcmpiW(word, L"Embedding") == 0) command = Command::Serve;
    }
    ::LocalFree(argv);
    return command;
}

HRESULT Register() {
    const std::wstring path = zrvappsvc::ImagePath();
    HRESULT hr = zrvappsvc::RegisterAppServices(zrvappsvc::ServerKind::LocalServer, path);
    if (SUCCEEDED(hr)) hr = zrvappsvc::RegisterEmbeddedTypeLib(path);
    return hr;
}

HRESULT Unregister() {
    const HRESULT typeLib = zrvappsvc::UnregisterEmbeddedTypeLib(zrvappsvc::ImagePath());
    const HRESULT server = zrvappsvc::UnregisterAppServices(zrvappsvc::ServerKind::LocalServer);
    return FAILED(server) ? server : typeLib;
}

// Serves until the server has been idle for its grace period; the caller
// then ends the process.
//
// Wine suspends nothing (CoSuspendClassObjects, REGCLS_SUSPENDED and the
// suspension promised by CoReleaseServerProcess do nothing there), so there
// is no atomic "stop taking activations". The class object is revoked when
// the grace ends and the apartment keeps serving for a short drain: a client
// that was handed the class object just before the revocation still gets its
// object, which keeps the server running like any other. The server leaves
// only after a whole drain passed idle.
HRESULT Serve() {
    g_mainThread = ::GetCurrentThreadId();
    const UINT idleGraceMs = zrvappsvc::LocalServerIdleMs().value_or(kDefaultIdleGraceMs);
    const UINT unusedMs = zrvappsvc::LocalServerUnusedMs().value_or(kDefaultUnusedMs);
    auto idle = [unusedMs] {
        return zrvappsvc::ServerIdle() || zrvappsvc::ObjectsUnusedFor(unusedMs);
    };
    zrvappsvc::SetIdleCallback(PostIdle);
    // Without the pins the server still serves; it is only exposed again to
    // the hang that interface_pins.h describes.
    zrvappsvc::PinInterfaceRegistrations(&g_factory);
    DWORD cookie = 0;
    const HRESULT hr = ::CoRegisterClassObject(CLSID_AppServices, &g_factory, CLSCTX_LOCAL_SERVER,
                                               REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr)) return hr;
    bool registered = true;

    UINT_PTR timer = ::SetTimer(nullptr, 0, kStartupGraceMs, nullptr);
    bool graceRunning = false;  // timer is an idle grace or the drain, not the startup wait
    const UINT_PTR unusedCheck =
        ::SetTimer(nullptr, 0, (std::min)(kUnusedCheckMs, unusedMs), nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == nullptr && msg.message == kIdleMessage) {
            if (timer) ::KillTimer(nullptr, timer);
            timer = ::SetTimer(nullptr, 0, registered ? idleGraceMs : kDrainMs, nullptr);
            graceRunning = true;
            continue;
        }
        if (msg.hwnd == nullptr && msg.message == WM_TIMER && msg.wParam == unusedCheck) {
            // Left behind objects never bring the count to zero: start the
            // grace as the last release would have.
            if (!graceRunning && zrvappsvc::ObjectsUnusedFor(unusedMs)) PostIdle();
            continue;
        }
        if (msg.hwnd == nullptr && msg.message == WM_TIMER && msg.wParam == timer) {
            ::KillTimer(nullptr, timer);
            timer = 0;
            graceRunning = false;
            if (!idle()) continue;
            if (!registered) break;
            ::CoRevokeClassObject(cookie);
            registered = false;
            timer = ::SetTimer(nullptr, 0, kDrainMs, nullptr);
            graceRunning = true;
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (timer) ::KillTimer(nullptr, timer);
    if (unusedCheck) ::KillTimer(nullptr, unusedCheck);
    if (registered) ::CoRevokeClassObject(cookie);
    zrvappsvc::SetIdleCallback(nullptr);
    return S_OK;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const Command command = ParseCommand();
    if (command == Command::Unknown) return 2;
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    HRESULT hr = E_UNEXPECTED;
    switch (command) {
        case Command::Register:
            hr = Register();
            break;
        case Command::Unregister:
            hr = Unregister();
            break;
        default:
            hr = Serve();
            // Leaving the apartment would tear down every export and wait,
            // with no time limit, for calls still in flight on them; a call
            // that reaches the apartment during that teardown is posted to
            // this thread, which no longer dispatches, and both wait for
            // ever. Ending the process cuts every connection instead, and a
            // late caller's call fails at once.
            ::ExitProcess(SUCCEEDED(hr) ? 0 : 1);
    }
    ::CoUninitialize();
    return SUCCEEDED(hr) ? 0 : 1;
}
