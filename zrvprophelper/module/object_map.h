#pragma once
// The classes this server serves, in the order they are registered.

#include <windows.h>

#include "module/class_factory.h"

struct ObjectMapEntry {
    const CLSID* clsid;
    UINT registryScript;  // id of the class's "REGISTRY" resource
    ObjectCreator createObject;
    zrv::ClassFactory* classObject;  // made on first request, kept until unload
};

ObjectMapEntry* ObjectMapBegin() noexcept;
ObjectMapEntry* ObjectMapEnd() noexcept;

// Releases the class objects the map keeps (process detach).
void ReleaseObjectMap(bool processEnding) noexcept;
