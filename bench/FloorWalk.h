#pragma once
// What reading a load order cannot cost less than: every file read in 1 MB
// blocks into one reused buffer, and every record and subrecord header
// visited, with nothing kept. The benchmarks state their times as multiples
// of this walk over the same files in the same run.
#include <cstdint>
#include <string>
#include <vector>

namespace vantor::bench {

struct CFloorWalk {
    std::uint64_t m_bytes = 0;
    std::uint64_t m_records = 0;
    std::uint64_t m_subrecords = 0;
    double m_cpuSeconds = 0;  // user + system time of the walk, best of the runs
};

// Walks the files `runs` times; the counts are those of one walk. The
// process ends when a file cannot be read.
CFloorWalk FloorWalk(const std::vector<std::string>& paths, int runs = 3);

// User + system CPU seconds this process has used so far.
double ProcessCpuSeconds();

}  // namespace vantor::bench
