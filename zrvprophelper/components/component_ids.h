#pragma once
// Interfaces and class ids of the product's own COM servers.

#include <windows.h>
#include <propidl.h>

#include "product_components.h"  // generated from product_components.idl

extern "C" {
extern const CLSID CLSID_DocumentCatalog;
extern const CLSID CLSID_DocumentProperties;
extern const CLSID CLSID_AppServices;
extern const CLSID CLSID_CategoryListControl;
}

// Property ids of IDocumentCatalog.
enum DocumentPropertyId : int {
    DOCPROP_TITLE = 0,
    DOCPROP_SUBJECT = 1,
    DOCPROP_AUTHOR = 2,
    DOCPROP_CATEGORIES = 3,
    DOCPROP_COMMENTS = 4,
    DOCPROP_EXPIRATION = 17,
    DOCPROP_REMINDER = 18,
    DOCPROP_BURN_DISC = 19,
};

// The category list control's class id as text, as hosts create it.
constexpr wchar_t kCategoryListControlClsidText[] = L"{515AEFF3-9F01-434E-8380-CB96782925D4}";
