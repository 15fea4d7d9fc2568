#include <gtest/gtest.h>

#include <random>

#include "fixtures/TempDir.h"
#include "format/ScanReference.h"
#include "platform/Files.h"

using namespace vantor;

TEST(RecordScan, StopsWhereAScanOneByteAtATimeStops) {
    std::vector<std::string> cases = {
        "", "TES", "xTES3", std::string(100, '\0') + "STAT", "STAXSTAT", "NPCXNPC_", "MIS" "CELLx",
        "SSCRMASTTES3", "AAAAAAAAAAAAAAAAINFO", "W" "EAP" + std::string(7, 'W') + "WEAP",
    };
    std::mt19937 rng(7);
    const std::string alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZ_3\0\1a", 31);
    for (int round = 0; round < 200; ++round) {
        std::string& bytes = cases.emplace_back(std::size_t(rng() % 300), ' ');
        for (char& c : bytes) c = alphabet[rng() % alphabet.size()];
    }
    for (const std::string& bytes : cases) EXPECT_EQ(fixtures::FirstScanMismatch(bytes, 1), std::string::npos) << bytes;

    // Real plugins at every 61st position: a prime, so that it falls everywhere in records.
    for (const std::string& path : fixtures::CorpusFiles()) {
        std::string bytes;
        ASSERT_TRUE(platform::ReadWholeFile(path, bytes));
        EXPECT_EQ(fixtures::FirstScanMismatch(bytes, 61), std::string::npos) << path;
    }
}
