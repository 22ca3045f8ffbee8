#pragma once
// Early-return helpers so the happy path reads straight down, and the one
// place where C++ exceptions are turned back into HRESULTs at a boundary.

#include <windows.h>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "support/exceptions.h"

#define ZRV_RETURN_IF_FAILED(expr)                                                    \
    do {                                                                              \
        const HRESULT zrv_hr_ = (expr);                                               \
        static_assert(std::is_same<std::remove_cv_t<decltype(expr)>, HRESULT>::value, \
                      "ZRV_RETURN_IF_FAILED wants an HRESULT");                       \
        if (FAILED(zrv_hr_)) return zrv_hr_;                                          \
    } while (0)

#define ZRV_RETURN_IF_NULL_ALLOC(ptr)               \
    do {                                            \
        if ((ptr) == nullptr) return E_OUTOFMEMORY; \
    } while (0)

namespace zrv {

// Maps the exception in flight to the HRESULT a failure would report. Call
// only from a catch (...) block.
inline HRESULT ResultFromCaughtException() noexcept {
    try {
        throw;
    } catch (const CAtlException& e) {
        return e.m_hr;
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
