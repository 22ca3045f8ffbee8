#include "allocation_faults.h"

#include <objbase.h>
#include <oleauto.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zrvtest {

namespace {

// Every allocator a module built here can import. Those it does not import
// are simply not hooked.
enum Allocator {
    kMalloc,
    kCalloc,
    kRealloc,
    kStrdup,
    kWcsdup,
    kSysAllocString,
    kSysAllocStringLen,
    kSysAllocStringByteLen,
    kSysReAllocString,
    kSysReAllocStringLen,
    kCoTaskMemAlloc,
    kCoTaskMemRealloc,
    kHeapAlloc,
    kHeapReAlloc,
    kLocalAlloc,
    kGlobalAlloc,
    kAllocatorCount
};

void* g_real[kAllocatorCount] = {};
volatile LONG g_count = 0;
volatile LONG g_failAt = 0;
volatile LONG g_failCount = 1;
volatile LONG g_fired = 0;
volatile LONG g_failSite = 0;
// The module's return addresses that make a site: enough to tell apart the
// callers of the runtime's and the string types' own allocation helpers.
constexpr int kSiteDepth = 3;
constexpr int kMaxSites = 8192;
struct SiteEntry {
    unsigned long site;
    unsigned long first;
};
SiteEntry g_sites[kMaxSites] = {};
int g_siteCount = 0;
CRITICAL_SECTION g_sitesLock;
INIT_ONCE g_sitesLockOnce = INIT_ONCE_STATIC_INIT;
const char* g_failedAllocator = nullptr;
constexpr int kMaxFrames = 12;
ULONG_PTR g_failedFrames[kMaxFrames] = {};
int g_failedFrameCount = 0;
ULONG_PTR g_codeStart = 0;
ULONG_PTR g_codeEnd = 0;
ULONG_PTR g_imageBase = 0;

template <typename Fn>
Fn Real(Allocator which) {
    return reinterpret_cast<Fn>(g_real[which]);
}

// The module's return addresses that stand on the stack, innermost first,
// as offsets into its image: without frame pointers a walk cannot be
// trusted, but this is what addr2line needs, and the same road to a call
// leaves the same values.
__attribute__((noinline)) int ModuleCallers(ULONG_PTR* frames, int most) {
    const auto* top = reinterpret_cast<const ULONG_PTR*>(__builtin_frame_address(0));
    // The stack's committed pages above this frame are one region.
    MEMORY_BASIC_INFORMATION stack = {};
    if (!::VirtualQuery(top, &stack, sizeof(stack))) return 0;
    const auto* base = reinterpret_cast<const ULONG_PTR*>(
        static_cast<const BYTE*>(stack.BaseAddress) + stack.RegionSize);
    int count = 0;
    for (const ULONG_PTR* p = top; p < base && p < top + 4096 && count < most; ++p) {
        if (*p >= g_codeStart && *p < g_codeEnd) frames[count++] = *p - g_imageBase;
    }
    return count;
}

void NoteCallers() { g_failedFrameCount = ModuleCallers(g_failedFrames, kMaxFrames); }

// Never 0, which names no site.
unsigned long SiteOf(const char* allocator) {
    ULONG_PTR frames[kSiteDepth] = {};
    const int count = ModuleCallers(frames, kSiteDepth);
    unsigned long hash = 2166136261u;
    auto mix = [&](unsigned long value) {
        for (int i = 0; i < 4; ++i, value >>= 8) hash = (hash ^ (value & 0xff)) * 16777619u;
    };
    for (const char* c = allocator; *c; ++c) mix(static_cast<unsigned char>(*c));
    for (int i = 0; i < count; ++i) mix(static_cast<unsigned long>(frames[i]));
    return hash ? hash : 1;
}

BOOL CALLBACK InitSitesLock(INIT_ONCE*, void*, void**) {
    ::InitializeCriticalSection(&g_sitesLock);
    return TRUE;
}

void NoteSite(unsigned long site, unsigned long number) {
    ::InitOnceExecuteOnce(&g_sitesLockOnce, &InitSitesLock, nullptr, nullptr);
    ::EnterCriticalSection(&g_sitesLock);
    bool known = false;
    for (int i = 0; i < g_siteCount && !known; ++i) known = g_sites[i].site == site;
    if (!known && g_siteCount < kMaxSites) g_sites[g_siteCount++] = SiteEntry{site, number};
    ::LeaveCriticalSection(&g_sitesLock);
}

std::string DescribeFailure() {
    std::string text = g_failedAllocator ? g_failedAllocator : "?";
    for (int i = 0; i < g_failedFrameCount; ++i) {
        char frame[24];
        std::snprintf(frame, sizeof(frame), " +0x%lx",
                      static_cast<unsigned long>(g_failedFrames[i]));
        text += frame;
    }
    return text;
}

wchar_t g_noteFile[MAX_PATH] = {};

void WriteNote() {
    if (!g_noteFile[0]) return;
    const std::string text = DescribeFailure();
    HANDLE file = ::CreateFileW(g_noteFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

// Counts one allocation call; true when it is one to fail. The first one
// failed is the one noted.
bool Fails(const char* name) {
    const LONG number = ::InterlockedIncrement(&g_count);
    const unsigned long site = SiteOf(name);
    NoteSite(site, static_cast<unsigned long>(number));
    const LONG failSite = ::InterlockedCompareExchange(&g_failSite, 0, 0);
    // The first call at the chosen site becomes the call to fail.
    if (failSite != 0 && static_cast<unsigned long>(failSite) == site &&
        ::InterlockedCompareExchange(&g_failSite, 0, failSite) == failSite) {
        ::InterlockedExchange(&g_failAt, number);
    }
    const LONG failAt = ::InterlockedCompareExchange(&g_failAt, 0, 0);
    if (failAt == 0 || number < failAt) return false;
    if (number - failAt >= ::InterlockedCompareExchange(&g_failCount, 0, 0)) return false;
    if (number != failAt) return true;
    g_failedAllocator = name;
    NoteCallers();
    WriteNote();
    ::InterlockedExchange(&g_fired, 1);
    return true;
}

void* __cdecl Malloc(size_t size) {
    if (Fails("malloc")) return nullptr;
    return Real<void*(__cdecl*)(size_t)>(kMalloc)(size);
}

void* __cdecl Calloc(size_t count, size_t size) {
    if (Fails("calloc")) return nullptr;
    return Real<void*(__cdecl*)(size_t, size_t)>(kCalloc)(count, size);
}

// A reallocation to size 0 frees, and is not counted.
void* __cdecl Realloc(void* block, size_t size) {
    if (size != 0 && Fails("realloc")) return nullptr;
    return Real<void*(__cdecl*)(void*, size_t)>(kRealloc)(block, size);
}

char* __cdecl Strdup(const char* text) {
    if (Fails("_strdup")) return nullptr;
    return Real<char*(__cdecl*)(const char*)>(kStrdup)(text);
}

wchar_t* __cdecl Wcsdup(const wchar_t* text) {
    if (Fails("_wcsdup")) return nullptr;
    return Real<wchar_t*(__cdecl*)(const wchar_t*)>(kWcsdup)(text);
}

BSTR WINAPI AllocString(const OLECHAR* text) {
    if (Fails("SysAllocString")) return nullptr;
    return Real<BSTR(WINAPI*)(const OLECHAR*)>(kSysAllocString)(text);
}

BSTR WINAPI AllocStringLen(const OLECHAR* text, UINT length) {
    if (Fails("SysAllocStringLen")) return nullptr;
    return Real<BSTR(WINAPI*)(const OLECHAR*, UINT)>(kSysAllocStringLen)(text, length);
}

BSTR WINAPI AllocStringByteLen(LPCSTR text, UINT length) {
    if (Fails("SysAllocStringByteLen")) return nullptr;
    return Real<BSTR(WINAPI*)(LPCSTR, UINT)>(kSysAllocStringByteLen)(text, length);
}

INT WINAPI ReAllocString(BSTR* old, const OLECHAR* text) {
    if (Fails("SysReAllocString")) return FALSE;
    return Real<INT(WINAPI*)(BSTR*, const OLECHAR*)>(kSysReAllocString)(old, text);
}

INT WINAPI ReAllocStringLen(BSTR* old, const OLECHAR* text, UINT length) {
    if (Fails("SysReAllocStringLen")) return FALSE;
    return Real<INT(WINAPI*)(BSTR*, const OLECHAR*, UINT)>(kSysReAllocStringLen)(old, text, length);
}

void* WINAPI TaskMemAlloc(SIZE_T size) {
    if (Fails("CoTaskMemAlloc")) return nullptr;
    return Real<void*(WINAPI*)(SIZE_T)>(kCoTaskMemAlloc)(size);
}

void* WINAPI TaskMemRealloc(void* block, SIZE_T size) {
    if (size != 0 && Fails("CoTaskMemRealloc")) return nullptr;
    return Real<void*(WINAPI*)(void*, SIZE_T)>(kCoTaskMemRealloc)(block, size);
}

void* WINAPI HeapAllocation(HANDLE heap, DWORD flags, SIZE_T size) {
    if (Fails("HeapAlloc")) return nullptr;
    return Real<void*(WINAPI*)(HANDLE, DWORD, SIZE_T)>(kHeapAlloc)(heap, flags, size);
}

void* WINAPI HeapReallocation(HANDLE heap, DWORD flags, void* block, SIZE_T size) {
    if (Fails("HeapReAlloc")) return nullptr;
    return Real<void*(WINAPI*)(HANDLE, DWORD, void*, SIZE_T)>(kHeapReAlloc)(heap, flags, block,
                                                                            size);
}

HLOCAL WINAPI LocalAllocation(UINT flags, SIZE_T size) {
    if (Fails("LocalAlloc")) return nullptr;
    return Real<HLOCAL(WINAPI*)(UINT, SIZE_T)>(kLocalAlloc)(flags, size);
}

HGLOBAL WINAPI GlobalAllocation(UINT flags, SIZE_T size) {
    if (Fails("GlobalAlloc")) return nullptr;
    return Real<HGLOBAL(WINAPI*)(UINT, SIZE_T)>(kGlobalAlloc)(flags, size);
}

struct HookSpec {
    Allocator which;
    const wchar_t* dll;
    const char* name;
    void* standIn;
};

const HookSpec kHooks[] = {
    {kMalloc, L"msvcrt.dll", "malloc", reinterpret_cast<void*>(&Malloc)},
    {kCalloc, L"msvcrt.dll", "calloc", reinterpret_cast<void*>(&Calloc)},
    {kRealloc, L"msvcrt.dll", "realloc", reinterpret_cast<void*>(&Realloc)},
    {kStrdup, L"msvcrt.dll", "_strdup", reinterpret_cast<void*>(&Strdup)},
    {kWcsdup, L"msvcrt.dll", "_wcsdup", reinterpret_cast<void*>(&Wcsdup)},
    {kSysAllocString, L"oleaut32.dll", "SysAllocString", reinterpret_cast<void*>(&AllocString)},
    {kSysAllocStringLen, L"oleaut32.dll", "SysAllocStringLen",
     reinterpret_cast<void*>(&AllocStringLen)},
    {kSysAllocStringByteLen, L"oleaut32.dll", "SysAllocStringByteLen",
     reinterpret_cast<void*>(&AllocStringByteLen)},
    {kSysReAllocString, L"oleaut32.dll", "SysReAllocString",
     reinterpret_cast<void*>(&ReAllocString)},
    {kSysReAllocStringLen, L"oleaut32.dll", "SysReAllocStringLen",
     reinterpret_cast<void*>(&ReAllocStringLen)},
    {kCoTaskMemAlloc, L"ole32.dll", "CoTaskMemAlloc", reinterpret_cast<void*>(&TaskMemAlloc)},
    {kCoTaskMemRealloc, L"ole32.dll", "CoTaskMemRealloc", reinterpret_cast<void*>(&TaskMemRealloc)},
    {kHeapAlloc, L"kernel32.dll", "HeapAlloc", reinterpret_cast<void*>(&HeapAllocation)},
    {kHeapReAlloc, L"kernel32.dll", "HeapReAlloc", reinterpret_cast<void*>(&HeapReallocation)},
    {kLocalAlloc, L"kernel32.dll", "LocalAlloc", reinterpret_cast<void*>(&LocalAllocation)},
    {kGlobalAlloc, L"kernel32.dll", "GlobalAlloc", reinterpret_cast<void*>(&GlobalAllocation)},
};

// The module's code: the sections it may run.
void FindCode(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    g_imageBase = reinterpret_cast<ULONG_PTR>(base);
    g_codeStart = g_codeEnd = 0;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (!(section->Characteristics & IMAGE_SCN_MEM_EXECUTE)) continue;
        const ULONG_PTR start = g_imageBase + section->VirtualAddress;
        const ULONG_PTR end = start + section->Misc.VirtualSize;
        if (!g_codeStart || start < g_codeStart) g_codeStart = start;
        if (end > g_codeEnd) g_codeEnd = end;
    }
}

}  // namespace

AllocationFaults::AllocationFaults(HMODULE module, unsigned long failAt, unsigned long failCount,
                                   unsigned long failSite) {
    FindCode(module);
    ::InterlockedExchange(&g_count, 0);
    g_siteCount = 0;
    ::InterlockedExchange(&g_failSite, static_cast<LONG>(failSite));
    ::InterlockedExchange(&g_failCount,
                          static_cast<LONG>(failCount < LONG_MAX ? failCount : LONG_MAX));
    ::InterlockedExchange(&g_fired, 0);
    g_failedAllocator = nullptr;
    g_failedFrameCount = 0;
    g_noteFile[0] = L'\0';
    ::InterlockedExchange(&g_failAt, static_cast<LONG>(failAt));
    for (const HookSpec& entry : kHooks) {
        auto hook = std::make_unique<ImportHook>(module, entry.dll, entry.name, entry.standIn);
        if (!hook->ok()) continue;
        g_real[entry.which] = hook->real<void*>();
        m_hooked.push_back(entry.name);
        m_hooks.push_back(std::move(hook));
    }
}

AllocationFaults::~AllocationFaults() {
    Disarm();
    m_hooks.clear();
}

unsigned long AllocationFaults::Count() const {
    return static_cast<unsigned long>(::InterlockedCompareExchange(&g_count, 0, 0));
}

bool AllocationFaults::Fired() const { return ::InterlockedCompareExchange(&g_fired, 0, 0) != 0; }

std::string AllocationFaults::FailedCall() const {
    return Fired() ? DescribeFailure() : std::string();
}

void AllocationFaults::Disarm() {
    ::InterlockedExchange(&g_failSite, 0);
    ::InterlockedExchange(&g_failAt, 0);
}

std::vector<std::pair<unsigned long, unsigned long>> AllocationFaults::Sites() const {
    ::InitOnceExecuteOnce(&g_sitesLockOnce, &InitSitesLock, nullptr, nullptr);
    ::EnterCriticalSection(&g_sitesLock);
    std::vector<std::pair<unsigned long, unsigned long>> sites;
    for (int i = 0; i < g_siteCount; ++i) sites.emplace_back(g_sites[i].site, g_sites[i].first);
    ::LeaveCriticalSection(&g_sitesLock);
    return sites;
}

void AllocationFaults::NoteFailureIn(const std::wstring& file) {
    ::lstrcpynW(g_noteFile, file.c_str(), MAX_PATH);
}

}  // namespace zrvtest
