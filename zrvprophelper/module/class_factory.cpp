#include "class_factory.h"

#include "module/module.h"

namespace {

void LockModule() noexcept { g_module.Lock(); }
void UnlockModule() noexcept { g_module.Unlock(); }

// A class object is made anew once every earlier one is released, and a
// client may lock through one and unlock through a later one.
volatile LONG g_clientLocks = 0;

}  // namespace

zrv::ClassFactory* NewModuleClassObject(ObjectCreator creator) noexcept {
    return zrv::ClassFactory::New(creator, {&LockModule, &UnlockModule, &g_clientLocks},
                                  zrv::Aggregation::Allowed, zrv::ClientReferences::LockServer);
}
