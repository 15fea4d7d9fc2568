#pragma once
// Asks for the memory at `p` to be brought into the cache, for code that
// walks entries spread over memory and knows a few steps ahead which it
// will read. A hint only: it never faults, whatever `p` is.

namespace vantor::platform {

inline void Prefetch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

}  // namespace vantor::platform
