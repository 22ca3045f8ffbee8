#include "invariant_case.h"

namespace zrvappsvc {

std::wstring InvariantCase(std::wstring_view text, DWORD mapping) {
    std::wstring result(text.size(), L'\0');
    if (!text.empty()) {
        ::LCMapStringEx(LOCALE_NAME_INVARIANT, mapping, text.data(), static_cast<int>(text.size()),
                        result.data(), static_cast<int>(result.size()), nullptr, nullptr, 0);
    }
    return result;
}

}  // namespace zrvappsvc
