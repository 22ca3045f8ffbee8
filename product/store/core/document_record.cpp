#include "document_record.h"

#include <utility>

namespace zrvstore {

ULONGLONG DocumentRecord::Value(int id) const noexcept {
    switch (id) {
        case kExpirationId:
            return expiration;
        case kReminderId:
            return reminder;
        case kBurnDiscId:
            return burnDisc;
        default:
            return 0;
    }
}

void DocumentRecord::SetText(int id, std::wstring text) {
    if (!IsTextProperty(id)) return;
    texts[id] = std::move(text);
    present |= PropertyBit(id);
}

void DocumentRecord::SetValue(int id, ULONGLONG value) noexcept {
    switch (id) {
        case kExpirationId:
            expiration = value;
            break;
        case kReminderId:
            reminder = static_cast<DWORD>(value);
            break;
        case kBurnDiscId:
            burnDisc = static_cast<DWORD>(value);
            break;
        default:
            return;
    }
    present |= PropertyBit(id);
}

void ApplyChanges(const DocumentChanges& changes, DocumentRecord& target) {
    const DocumentRecord& from = changes.properties;
    for (int id = 0; id < kTextCount; ++id) {
        if (from.Has(id)) target.SetText(id, from.texts[id]);
    }
    for (int id = kExpirationId; id <= kBurnDiscId; ++id) {
        if (from.Has(id)) target.SetValue(id, from.Value(id));
    }
    if (changes.changeReadOnly) target.readOnly = changes.readOnly;
}

}  // namespace zrvstore
