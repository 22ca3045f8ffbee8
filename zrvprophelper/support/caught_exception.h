#pragma once
// The one place where C++ exceptions are turned back into HRESULTs at a COM
// boundary, for the product's stand-in servers, which use the standard
// containers. The module itself raises none (see nothrow_vector.h).

#include <windows.h>
#include <new>
#include <stdexcept>

#include "support/hresult.h"

namespace zrv {

// Maps the exception in flight to the HRESULT a failure would report. Call
// only from a catch (...) block.
inline HRESULT ResultFromCaughtException() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace zrv

// Closes a COM method body: any exception becomes a failure HRESULT.
#define ZRV_CATCH_RETURN()                         \
    catch (...) {                                  \
        return ::zrv::ResultFromCaughtException(); \
    }
