#pragma once

#include "../prop_page.h"

class CZRVPropPage_Summary final : public CZRVPropPage {
public:
    CZRVPropPage_Summary() noexcept : CZRVPropPage(105) {}

    // The General page describes exactly one item.
    HRESULT Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY fileType) override;
};
