#pragma once
// The categories selected in a category list, gathered from the list's
// enumerator as the fixed-size records the control delivers: copied byte for
// byte, in delivery order, duplicates kept.

#include <vector>

#include "components/component_ids.h"
#include "support/cstring.h"

static_assert(sizeof(CategoryItem) == 1052, "the control delivers 1052-byte records");

using CategorySelection = std::vector<CategoryItem>;

// Walks the enumerator from its start until Next stops answering S_OK. The
// enumerator belongs to the list that handed it out: no reference is taken
// or given back. Growing the array past what memory allows raises the
// container's exception.
CategorySelection GatherSelection(ICategoryEnum* selection);

// The record's name up to its first NUL. A control that fills the whole
// field without a terminator still gives a name no longer than the field.
CString CategoryItemName(const CategoryItem& item);
