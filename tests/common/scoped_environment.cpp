#include "scoped_environment.h"

#include <windows.h>

namespace zrvtest {

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const wchar_t* value) : m_name(name) {
    wchar_t old[32768];
    const DWORD n = ::GetEnvironmentVariableW(name, old, ARRAYSIZE(old));
    m_had = n > 0 && n < ARRAYSIZE(old);
    if (m_had) m_old.assign(old, n);
    ::SetEnvironmentVariableW(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
    ::SetEnvironmentVariableW(m_name.c_str(), m_had ? m_old.c_str() : nullptr);
}

}  // namespace zrvtest
