// Lookups from this program must name the module the way the product's
// catalogs know it, so the module's code here works with the built DLL's
// image as its resource instance: its strings and its name.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/test_paths.h"
#include "support/module_instance.h"

namespace {

class ModuleIdentity : public ::testing::Environment {
  public:
    void SetUp() override {
        m_module = ::LoadLibraryW(zrvtest::ModulePath().c_str());
        ASSERT_TRUE(m_module);
        zrv::SetResourceInstance(m_module);
    }
    void TearDown() override {
        zrv::SetResourceInstance(nullptr);
        ::FreeLibrary(m_module);
    }

  private:
    HMODULE m_module = nullptr;
};

const auto* const g_identity = ::testing::AddGlobalTestEnvironment(new ModuleIdentity);

}  // namespace
