// The reader resynchronises on junk with a scan that skips bytes; it must
// stop exactly where a scan one byte at a time would.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "fixtures/TempDir.h"
#include "format/RecordCursor.h"
#include "platform/Files.h"

using namespace vantor;

namespace {

// The reference: where the reader's old resynchronisation, one byte at a
// time, stops from each position (the first tag at or after it), found in
// one pass from the end.
std::vector<std::size_t> ByteByByteStops(std::string_view bytes) {
    const std::size_t n = bytes.size();
    std::vector<std::size_t> stops(n + 1);
    std::size_t next = n < 3 ? 0 : n - 3;
    for (std::size_t from = n + 1; from-- > 0;) {
        if (n - from >= 4 && IsRecordTag(bytes.substr(from, 4))) next = from;
        stops[from] = std::max(from, next);
    }
    return stops;
}

// Compares at every `step`-th position and at the eight positions before
// each tag, where the skips must not jump over it.
void ExpectSameStops(std::string_view bytes, std::size_t step, const std::string& name) {
    const std::vector<std::size_t> stops = ByteByByteStops(bytes);
    std::size_t differ = 0;
    auto check = [&](std::size_t from) {
        if (NextRecordTag(bytes, from) != stops[from] && ++differ <= 3)
            ADD_FAILURE() << name << ": from " << from << " the scan stops at " << NextRecordTag(bytes, from)
                          << ", one byte at a time at " << stops[from];
    };
    for (std::size_t from = 0; from <= bytes.size(); from += step) check(from);
    for (std::size_t at = 0; at <= bytes.size(); ++at)
        if (stops[at] == at)
            for (std::size_t back = 1; back <= 8 && back <= at; ++back) check(at - back);
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    platform::ReadWholeFile(path, bytes);
    return bytes;
}

}  // namespace

TEST(RecordScan, StopsWhereAScanOneByteAtATimeStops) {
    const std::string cases[] = {
        "", "TES", "xTES3", std::string(100, '\0') + "STAT", "STAXSTAT", "NPCXNPC_", "MIS" "CELLx",
        "SSCRMASTTES3", "AAAAAAAAAAAAAAAAINFO", "W" "EAP" + std::string(7, 'W') + "WEAP",
    };
    for (const std::string& bytes : cases) ExpectSameStops(bytes, 1, bytes);

    std::mt19937 rng(7);
    const std::string alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZ_3\0\1a", 31);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(std::size_t(rng() % 300), ' ');
        for (char& c : bytes) c = alphabet[rng() % alphabet.size()];
        ExpectSameStops(bytes, 1, "random round " + std::to_string(round));
    }
}

TEST(RecordScan, CorpusFilesAtSampledPositions) {
    auto files = fixtures::CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus folder absent";
    for (const std::string& path : files) {
        const std::string bytes = ReadAll(path);
        // Every 61st position: a prime, so that it falls everywhere in records.
        ExpectSameStops(bytes, 61, path);
    }
}
