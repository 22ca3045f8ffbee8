#pragma once
// What the store keeps about one document, and the limits it enforces.

#include <windows.h>

#include <string>

namespace zrvstore {

// Capacity limits. Writes that would pass them fail; a file that passes them
// was not written by this store and counts as damaged.
constexpr size_t kMaxPathChars = 32767;       // a normalised document path
constexpr size_t kMaxTextChars = 65535;       // one text property
constexpr size_t kMaxDocuments = 65536;       // documents in one store
constexpr size_t kMaxStoreBytes = 64u << 20;  // the store file

// Text properties carry ids 0 to 4, value properties 17 to 19; each id is
// also its bit in DocumentRecord::present.
constexpr int kTextCount = 5;
constexpr int kExpirationId = 17;  // FILETIME as 64 bits, 0 = none
constexpr int kReminderId = 18;    // 32-bit number
constexpr int kBurnDiscId = 19;    // 32-bit number

inline bool IsTextProperty(int id) noexcept { return id >= 0 && id < kTextCount; }
inline bool IsValueProperty(int id) noexcept { return id >= kExpirationId && id <= kBurnDiscId; }
inline bool IsKnownProperty(int id) noexcept { return IsTextProperty(id) || IsValueProperty(id); }
inline DWORD PropertyBit(int id) noexcept { return DWORD{1} << id; }

struct DocumentRecord {
    std::wstring path;  // spelling of the first save, normalised
    bool readOnly = false;
    DWORD present = 0;  // properties that were ever set
    std::wstring texts[kTextCount];
    ULONGLONG expiration = 0;
    DWORD reminder = 0;
    DWORD burnDisc = 0;

    bool Has(int id) const noexcept { return IsKnownProperty(id) && (present & PropertyBit(id)); }
    // 0 for an unset value; only for value property ids.
    ULONGLONG Value(int id) const noexcept;
    void SetText(int id, std::wstring text);
    void SetValue(int id, ULONGLONG value) noexcept;
};

// A change to one document: the properties whose bits are present in
// `properties`, and the read-only mark when changeReadOnly is set.
struct DocumentChanges {
    DocumentRecord properties;
    bool changeReadOnly = false;
    bool readOnly = false;

    bool Empty() const noexcept { return properties.present == 0 && !changeReadOnly; }
};

// Copies the changed properties (and the mark) onto `target`.
void ApplyChanges(const DocumentChanges& changes, DocumentRecord& target);

}  // namespace zrvstore
