#pragma once
// The least that one localized-string lookup through the shared localizer map
// costs: the system calls and the slot-table reads and writes that any lookup
// of this design makes, with no localizer object and no translation.

namespace zrvbench {

// Opens the map and its mutex, maps the view, measures it, scans the slot
// table for the calling thread's entry and counts a use on it and gives the
// use back (as a lookup does around its translation), flushes, unmaps and
// closes. Does nothing when no map is published. Without flush, the same
// with no FlushViewOfFile: what the flush costs is the difference.
void MapLookupFloor(bool flush = true);

}  // namespace zrvbench
