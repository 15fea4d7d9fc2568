#pragma once
// Pieces every benchmark needs: a scratch folder, and peak memory measured in
// a fresh process so that nothing the benchmark itself holds is counted.
#include <optional>
#include <string>
#include <vector>

#include "document/FrameLink.h"

namespace vantor::bench {

// A new folder under the system's temporary folder named after `what`
// (without a trailing separator); the process ends when it cannot be made.
std::string MakeScratchFolder(const std::string& what);

// The process's resident-set high-water mark in kilobytes.
long MaxRssKilobytes();

struct CPeak {
    long m_beforeKb = 0;  // high-water mark before the measured work
    long m_peakKb = 0;    // and after it
    long m_extra = 0;     // a third number the child printed, when it did
};

// Runs this executable again with `args`; the child does the work and
// prints "before peak" in kilobytes (PrintPeak), and may add a third
// number. Nothing when it failed.
std::optional<CPeak> MeasureInChild(const std::vector<std::string>& args);
void PrintPeak(long beforeKb);

// A link that shows nothing and counts the questions; it answers each No,
// or Yes when asked to (an existing backup is then kept).
class CBenchLink : public CFrameLink {
public:
    explicit CBenchLink(bool yesToYesNo) : m_yes(yesToYesNo) {}
    void Progress(const std::string&, int) override {}
    void Tell(const CNotice&) override {}
    void Publish(EPane, CTablePtr, EShow) override {}
    CAnswer Ask(const CQuestion& question) override {
        ++m_asked;
        // An existing backup is kept as the backup: no file name to choose.
        if (m_yes) return {KindOf(question) == EQuestion::ReplaceBackup ? EAnswer::No : EAnswer::Yes, {}};
        return {EAnswer::No, {}};
    }
    int m_asked = 0;

private:
    bool m_yes;
};

}  // namespace vantor::bench
