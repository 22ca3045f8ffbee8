#pragma once
// The three handler classes that the object map serves. They differ only in
// the page they make.

#include "handlers/prop_sheet_handler.h"

#define ZRV_DECLARE_HANDLER(ClassName)                                               \
    class ClassName final : public CZRVPropSheetHandler {                            \
      public:                                                                        \
        static HRESULT Create(IUnknown* outer, REFIID iid, void** object) noexcept { \
            return CreateHandler<ClassName>(outer, iid, object);                     \
        }                                                                            \
                                                                                     \
      protected:                                                                     \
        CZRVPropPage* NewPage() override;                                            \
    }

ZRV_DECLARE_HANDLER(CZRVPropSheet_Summary);
ZRV_DECLARE_HANDLER(CZRVPropSheet_Category);
ZRV_DECLARE_HANDLER(CZRVPropSheet_LifeCycle);

#undef ZRV_DECLARE_HANDLER
