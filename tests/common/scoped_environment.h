#pragma once

#include <string>

namespace zrvtest {

// Sets an environment variable of this process for one scope (a null value
// unsets it) and puts back what was there before.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const wchar_t* name, const wchar_t* value);
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment();

  private:
    std::wstring m_name;
    bool m_had = false;
    std::wstring m_old;
};

}  // namespace zrvtest
