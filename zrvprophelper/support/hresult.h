#pragma once
// Early-return helpers so the happy path reads straight down.

#include <windows.h>
#include <type_traits>

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
