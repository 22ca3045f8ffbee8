// The module's code runs inside this test program: its module object serves
// the program's image, whose resources hold the module's templates and texts.
#include <windows.h>

#include "module/module.h"
#include "support/module_instance.h"

namespace {

const bool g_attached = [] {
    HINSTANCE self = ::GetModuleHandleW(nullptr);
    zrv::SetResourceInstance(self);
    return g_module.Attach(self);
}();

}  // namespace
