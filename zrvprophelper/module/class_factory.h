#pragma once
// The module's class objects: the shared class factory over the module's
// lock count, with aggregation allowed (the handlers support it).

#include "support/class_factory.h"

using zrv::ObjectCreator;

// Born with the one reference that the object map's slot keeps; null when
// out of memory.
zrv::ClassFactory* NewModuleClassObject(ObjectCreator creator) noexcept;
