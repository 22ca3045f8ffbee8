#pragma once
// The categories selected in a category list, gathered from the list's
// enumerator as the fixed-size records the control delivers: copied byte for
// byte, in delivery order, duplicates kept.

#include "components/component_ids.h"
#include "support/cstring.h"
#include "support/nothrow_vector.h"

static_assert(sizeof(CategoryItem) == 1052, "the control delivers 1052-byte records");

using CategorySelection = zrv::nothrow_vector<CategoryItem>;

// Walks the enumerator from its start until Next stops answering S_OK, into
// items. The enumerator belongs to the list that handed it out: no reference
// is taken or given back. E_OUTOFMEMORY when the records cannot all be kept.
HRESULT GatherSelection(ICategoryEnum* selection, CategorySelection& items) noexcept;

// The record's name up to its first NUL. A control that fills the whole
// field without a terminator still gives a name no longer than the field.
HRESULT CategoryItemName(const CategoryItem& item, CString& name) noexcept;
