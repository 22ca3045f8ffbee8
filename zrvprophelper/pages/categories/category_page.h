#pragma once

#include "../prop_page.h"

class CZRVPropPage_Category final : public CZRVPropPage {
public:
    CZRVPropPage_Category() noexcept : CZRVPropPage(106) {}
};
