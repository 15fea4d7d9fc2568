#pragma once
// The data generator behind vantor-mkdata: the bundled sample set, the
// Morrowind-scale benchmark sets, and small seed files for the fuzzer.
#include <cstdint>
#include <string>
#include <vector>

namespace vantor::mkdata {

// What a writer made, or why it stopped.
struct CWritten {
    bool m_ok = true;
    std::string m_error;
    std::vector<std::string> m_files;  // full paths, in load order
};

// Writes "<dir>/Data Files/" with Sample.esm and three plugins, and
// "<dir>/Morrowind.ini" naming them; then, for OpenMW, a second data folder
// "<dir>/Mods/Sample Patch/" with one add-on (the newest file by time, the
// last of m_files) and "<dir>/openmw.cfg" naming both folders. Byte for byte
// the same on every run; the files get fixed, increasing last-write times
// (master oldest).
CWritten WriteSampleSet(const std::string& dir);
// The fixed last-write times of the sample files in "Data Files", in load
// order (seconds since the epoch), and their names.
std::vector<std::int64_t> SampleTimes();
std::vector<std::string> SampleFileNames();

struct CExtraMaster {
    std::string m_name;
    double m_megabytes = 0;
};

struct CBenchOptions {
    int m_plugins = 100;
    double m_masterMegabytes = 80;
    std::vector<CExtraMaster> m_extraMasters;
    std::uint64_t m_seed = 1;
    int m_minRecords = 300, m_maxRecords = 3000;
    // Shares of each plugin's records: overrides of master records, and
    // overrides of earlier plugins' own records; the rest are new records.
    double m_fromMasters = 0.6, m_fromPlugins = 0.1;
    // Of those overrides: identical copies and deletions; the rest change
    // the record.
    double m_unchanged = 0.2, m_deleted = 0.05;
};

// Writes "<dir>/Data Files/" with "Bench.esm", the extra masters and
// "Bench 0001.esp"... in load order, with increasing last-write times, and
// "<dir>/Morrowind.ini". Deterministic for a given option set.
CWritten WriteBenchSet(const std::string& dir, const CBenchOptions& options);

// A benchmark set written into a fresh temporary folder, which is removed
// with everything in it when the object goes.
class CTemporarySet {
public:
    explicit CTemporarySet(const CBenchOptions& options);
    ~CTemporarySet();
    CTemporarySet(const CTemporarySet&) = delete;
    CTemporarySet& operator=(const CTemporarySet&) = delete;
    // m_ok false (with the reason) when the folder or a file could not be made.
    const CWritten& Written() const { return m_written; }
    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
    CWritten m_written;
};

// Small plugins, well-formed and damaged, as starting points for fuzzing;
// and a few real records of each type taken from `recordsFrom`, each alone
// behind a header.
CWritten WriteFuzzSeeds(const std::string& dir, const std::vector<std::string>& recordsFrom = {});

// Shared by the writers: the folder is created, the bytes written whole,
// the last-write time set.
bool WriteFile(const std::string& path, const std::string& bytes, std::int64_t mtime, std::string& error);
bool WriteIni(const std::string& dir, const std::vector<std::string>& gameFiles, std::int64_t mtime,
              std::string& error);

}  // namespace vantor::mkdata
