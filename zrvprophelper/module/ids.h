#pragma once
// Class ids and the type library id that the module publishes.

#include <windows.h>

extern "C" {
extern const CLSID CLSID_ZRVPropPage_Summary;    // General page handler
extern const CLSID CLSID_ZRVPropPage_Category;   // Categories page handler
extern const CLSID CLSID_ZRVPropPage_LifeCycle;  // Life Cycle page handler
extern const GUID LIBID_ZRVPropHelperLib;
}
