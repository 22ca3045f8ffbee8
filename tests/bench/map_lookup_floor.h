#pragma once
// The least that one localized-string lookup through the shared localizer map
// costs: the system calls and the slot-table reads and writes that any lookup
// of this design makes, with no localizer object.

struct IAppLocalizer;

namespace zrvbench {

// Called with the thread's registered server while its use is counted.
using TranslateFn = void (*)(IAppLocalizer* localizer, void* context);

// Opens the map and its mutex, maps the view, measures it, scans the slot
// table for the calling thread's entry and counts a use on it, asks translate
// (if any) for the text, gives the use back (the thread's registration still
// holds the entry, so without the mutex), flushes, unmaps and closes. Does nothing when no map is
// published. Without flush, the same with no FlushViewOfFile: what the flush
// costs is the difference. With makeServer, a thread that has no entry yet
// gets one as its first lookup must give it: the server made in process and
// registered under the mutex in the lowest free slot or a new one, with the
// map's hold and reference.
void MapLookupFloor(bool flush = true, TranslateFn translate = nullptr, void* context = nullptr,
                    bool makeServer = false);

// What the thread's apartment end must do with the entry that its floor
// lookups made, if any: clear it under the mutex and give the map's
// reference back.
void ReleaseThreadServerFloor();

}  // namespace zrvbench
