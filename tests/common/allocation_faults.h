#pragma once
// Fails one chosen allocation of a loaded module, the way memory runs out
// inside a host: every call through which the module takes memory from the
// runtime or the system (its imports of malloc, calloc, realloc, the BSTR
// and task allocators, the heaps) is counted, and call number failAt answers
// as an exhausted heap does. Only that call fails (or failCount calls from
// it on, as memory stays exhausted for a while); later ones succeed again,
// so that what runs after the failure is tried as well.
//
// The count is process-wide (the module's own threads count too), so only
// one AllocationFaults may live at a time. Calls the module made before it
// was hooked, at load, are not counted.
//
// A call can also be chosen by its site instead of its number: the
// allocator and the module's innermost return addresses on the stack, so
// that a helper such as operator new or a string's growth is told apart by
// its callers. A site is named by a hash that stays the same from one run
// of the same binary to the next, whatever the threads' timing.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/import_hook.h"

namespace zrvtest {

class AllocationFaults {
  public:
    // failAt 0 counts without failing anything. A failSite other than 0
    // fails the first call made at that site instead (and failCount - 1
    // calls after it), whatever its number.
    AllocationFaults(HMODULE module, unsigned long failAt, unsigned long failCount = 1,
                     unsigned long failSite = 0);
    AllocationFaults(const AllocationFaults&) = delete;
    AllocationFaults& operator=(const AllocationFaults&) = delete;
    ~AllocationFaults();

    // The allocators the module imports and that are now counted.
    const std::vector<std::string>& Hooked() const { return m_hooked; }
    // Allocation calls made so far.
    unsigned long Count() const;
    // Call failAt came and was failed.
    bool Fired() const;
    // The failed call: the allocator, and the addresses in the module found
    // on the stack at that moment ("+0x1a2b"), innermost first, for addr2line.
    std::string FailedCall() const;
    // From now on nothing fails; counting goes on.
    void Disarm();
    // The sites met so far, each with the number of its first call, in the
    // order they were first met (at most a few thousand are kept).
    std::vector<std::pair<unsigned long, unsigned long>> Sites() const;
    // Writes FailedCall() to file the moment the failure is made, so that a
    // run that crashes after it still tells which call it was.
    void NoteFailureIn(const std::wstring& file);

  private:
    std::vector<std::unique_ptr<ImportHook>> m_hooks;
    std::vector<std::string> m_hooked;
};

}  // namespace zrvtest
