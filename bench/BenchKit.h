#pragma once
// Pieces every benchmark needs: a scratch folder, and peak memory measured in
// a fresh process so that nothing the benchmark itself holds is counted.
#include <optional>
#include <string>
#include <vector>

namespace vantor::bench {

// A new folder under the system's temporary folder named after `what`
// (without a trailing separator); the process ends when it cannot be made.
std::string MakeScratchFolder(const std::string& what);

// The process's resident-set high-water mark in kilobytes.
long MaxRssKilobytes();

struct CPeak {
    long m_beforeKb = 0;  // high-water mark before the measured work
    long m_peakKb = 0;    // and after it
};

// Runs this executable again with `args`; the child does the work and
// prints "before peak" in kilobytes (PrintPeak). Nothing when it failed.
std::optional<CPeak> MeasureInChild(const std::vector<std::string>& args);
void PrintPeak(long beforeKb);

}  // namespace vantor::bench
