#pragma once
// The reader's scan past junk skips bytes, yet must stop where a scan one
// byte at a time would. Shared by the tests and the reader's fuzz target.
#include <algorithm>
#include <string_view>
#include <vector>

#include "format/RecordCursor.h"

namespace vantor::fixtures {

// The first position, among every `step`-th and the eight before each tag
// (where a skip could jump over it), from which the scan stops elsewhere
// than the first tag at or after it; npos when there is none.
inline std::size_t FirstScanMismatch(std::string_view bytes, std::size_t step) {
    const std::size_t n = bytes.size();
    std::vector<std::size_t> stops(n + 1);  // the reference, in one pass from the end
    std::size_t next = n < 3 ? 0 : n - 3;
    for (std::size_t from = n + 1; from-- > 0;) {
        if (n - from >= 4 && IsRecordTag(bytes.substr(from, 4))) next = from;
        stops[from] = std::max(from, next);
    }
    for (std::size_t from = 0; from <= n; ++from) {
        bool probe = from % step == 0;
        for (std::size_t ahead = from + 1; !probe && ahead <= std::min(n, from + 8); ++ahead)
            probe = stops[ahead] == ahead;
        if (probe && NextRecordTag(bytes, from) != stops[from]) return from;
    }
    return std::string_view::npos;
}

}  // namespace vantor::fixtures
