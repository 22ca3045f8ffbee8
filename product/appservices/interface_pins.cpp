#include "interface_pins.h"

#include <objbase.h>

#include "appservices/app_services.h"
#include "components/component_ids.h"
#include "support/com_ptr.h"
#include "support/hresult.h"

namespace zrvappsvc {

namespace {

// The table-strong export lives in the apartment until its marshal data is
// released, which never happens here: the stream itself can go at once.
HRESULT PinExport(IUnknown* object, REFIID iid) noexcept {
    zrv::com_ptr<IStream> stream;
    ZRV_RETURN_IF_FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
    return ::CoMarshalInterface(stream.get(), iid, object, MSHCTX_LOCAL, nullptr,
                                MSHLFLAGS_TABLESTRONG);
}

}  // namespace

HRESULT PinInterfaceRegistrations(IClassFactory* factory) noexcept {
    ZRV_RETURN_IF_FAILED(PinExport(factory, IID_IClassFactory));
    zrv::com_ptr<IUnknown> services;
    ZRV_RETURN_IF_FAILED(CAppServices::CreateUncounted(IID_IUnknown, services.put_void()));
    for (const IID* iid : {&IID_IAppLocalizer, &IID_IAppHelp, &IID_IAppDocumentTypes})
        ZRV_RETURN_IF_FAILED(PinExport(services.get(), *iid));
    return S_OK;
}

}  // namespace zrvappsvc
