#include "object_map.h"

#include <iterator>

#include "handlers/prop_sheet_handlers.h"
#include "module/ids.h"
#include "resources/resource.h"

namespace {

ObjectMapEntry g_objectMap[] = {
    {&CLSID_ZRVPropPage_Category, IDR_ZRVPROPSHEET_CATEGORY, &CZRVPropSheet_Category::Create,
     nullptr},
    {&CLSID_ZRVPropPage_LifeCycle, IDR_ZRVPROPSHEET_LIFECYCLE, &CZRVPropSheet_LifeCycle::Create,
     nullptr},
    {&CLSID_ZRVPropPage_Summary, IDR_ZRVPROPSHEET_SUMMARY, &CZRVPropSheet_Summary::Create, nullptr},
};

}  // namespace

ObjectMapEntry* ObjectMapBegin() noexcept { return std::begin(g_objectMap); }
ObjectMapEntry* ObjectMapEnd() noexcept { return std::end(g_objectMap); }

void ReleaseObjectMap(bool processEnding) noexcept {
    for (ObjectMapEntry& entry : g_objectMap) {
        if (entry.classObject && !processEnding) entry.classObject->Release();
        entry.classObject = nullptr;
    }
}
