#pragma once
// Keeps the image that holds this code mapped until the process ends. Each
// image of the product that links this kit (the module and the product's
// in-process servers) pins itself when it loads:
// - the thread runtime linked into every image takes a thread-local slot on
//   each load and never gives it back, and COM frees an in-process server
//   each time the last apartment that used it ends, so a host that shows
//   each dialog on a thread of its own would run out of slots and be
//   aborted;
// - an image's code may still run where no server lock says so: the
//   module's pages hold none, so DllCanUnloadNow answers S_OK under an open
//   sheet, its dialogs and its workers.
// Where an image hands out something that runs its code later (a page, a
// thread's localizer registration), it asks again, in case the loader
// refused at load.

namespace zrv {

// True once the image is pinned; false when the loader refused.
bool PinThisImage() noexcept;

}  // namespace zrv
