#pragma once

#include "../prop_page.h"

class CZRVPropPage_LifeCycle final : public CZRVPropPage {
public:
    CZRVPropPage_LifeCycle() noexcept : CZRVPropPage(107) {}
};
