#include "prop_sheet_handlers.h"

#include <new>

#include "pages/categories/category_page.h"
#include "pages/general/summary_page.h"
#include "pages/lifecycle/lifecycle_page.h"

CZRVPropPage* CZRVPropSheet_Summary::NewPage() { return new (std::nothrow) CZRVPropPage_Summary(); }

CZRVPropPage* CZRVPropSheet_Category::NewPage() {
    return new (std::nothrow) CZRVPropPage_Category();
}

CZRVPropPage* CZRVPropSheet_LifeCycle::NewPage() {
    return new (std::nothrow) CZRVPropPage_LifeCycle();
}
