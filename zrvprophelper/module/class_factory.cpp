#include "class_factory.h"

#include "module/module.h"

namespace {

void LockModule() noexcept { g_module.Lock(); }
void UnlockModule() noexcept { g_module.Unlock(); }

}  // namespace

zrv::ClassFactory* NewModuleClassObject(ObjectCreator creator) noexcept {
    return zrv::ClassFactory::New(creator, {&LockModule, &UnlockModule}, zrv::Aggregation::Allowed,
                                  zrv::ClientReferences::LockServer);
}
