#include "page_help.h"

#include "components/component_ids.h"
#include "support/bstr.h"
#include "support/com_ptr.h"

void ShowPageHelp(HWND owner, const wchar_t* topic) {
    // Help is served in-process where the product installed its services
    // there, and otherwise by the product's own server: any context will do.
    zrv::com_ptr<IAppHelp> help;
    if (::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_ALL, IID_IAppHelp, help.put_void()) !=
            S_OK ||
        !help) {
        return;
    }
    // Without memory for the request no help is shown, as without the server.
    CComBSTR file;
    CComBSTR topicText;
    if (FAILED(file.Assign(L"ZRVHelp.chm")) || FAILED(topicText.Assign(topic))) return;
    help->ShowHelp(file, topicText, owner, 0);
}
