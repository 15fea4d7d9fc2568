#pragma once
// Shared by the fuzz targets: a failed property aborts with its reason.
#include <cstdio>
#include <cstdlib>

namespace vantor::fuzz {

inline void Check(bool ok, const char* what = "a property does not hold") {
    if (ok) return;
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

}  // namespace vantor::fuzz
