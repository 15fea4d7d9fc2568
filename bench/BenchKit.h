#pragma once
// Pieces every benchmark needs: a scratch folder, and peak memory measured in
// a fresh process so that nothing the benchmark itself holds is counted.
#include <optional>
#include <string>
#include <vector>

#include "document/FrameLink.h"
#include "format/PluginFile.h"

namespace vantor::bench {

// A new folder under the system's temporary folder named after `what`
// (without a trailing separator); the process ends when it cannot be made.
std::string MakeScratchFolder(const std::string& what);

// A generated load order of `plugins` plugins over the default masters, or
// the set in the folder the environment variable `setVariable` names
// ("Data Files/" inside), every master and plugin read once in name order.
// The process ends when the set cannot be made or read; a generated set is
// removed with the object.
class CReadLoadOrder {
public:
    CReadLoadOrder(const std::string& what, const char* setVariable, int plugins);
    ~CReadLoadOrder();
    CReadLoadOrder(const CReadLoadOrder&) = delete;
    CReadLoadOrder& operator=(const CReadLoadOrder&) = delete;

    std::vector<CPluginFile*> m_plugins;
    std::vector<CPluginFile*> m_masters;

private:
    std::string m_folder;
    std::vector<std::unique_ptr<CPluginFile>> m_files;
};

// The process's resident-set high-water mark in kilobytes.
long MaxRssKilobytes();

struct CPeak {
    long m_beforeKb = 0;  // high-water mark before the measured work
    long m_peakKb = 0;    // and after it
    long m_extra = 0;     // a third number the child printed, when it did
    long m_extra2 = 0;    // and a fourth
};

// Runs this executable again with `args`; the child does the work and
// prints "before peak" in kilobytes (PrintPeak), and may add a third and
// a fourth number. Nothing when it failed.
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

// A benchmark program's main: with `childFlag` and a folder it is the child
// MeasureInChild started, and runs `child` on the folder; otherwise it runs
// the benchmarks.
int BenchMain(int argc, char** argv, const char* childFlag, int (*child)(const std::string& folder));

// The folder (holding "Data Files/") of a generated load order of that many
// plugins (vantor-mkdata bench with its default overlap), generated once per
// process into a temporary folder; VANTOR_BENCH_LOAD_ORDERS names a folder
// that holds them already as 100/, 300/ and 1000/.
std::string LoadOrderSetFolder(int plugins);
// The set's plugins, by name.
std::vector<std::string> SetPlugins(const std::string& folder);

}  // namespace vantor::bench
