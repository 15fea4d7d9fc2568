// vantor-mkdata: writes the bundled sample set, benchmark sets and fuzz seeds.
#include <CLI/CLI.hpp>

#include <chrono>
#include <filesystem>
#include <iostream>

#include "MkData.h"

namespace {

using namespace vantor::mkdata;

int Report(const CWritten& written, std::chrono::steady_clock::time_point start, bool quiet) {
    if (!written.m_ok) {
        std::cerr << "vantor-mkdata: " << written.m_error << "\n";
        return 1;
    }
    std::uintmax_t total = 0;
    for (const auto& f : written.m_files) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(f, ec);
        total += ec ? 0 : size;
        if (!quiet) std::cout << f << "  " << (ec ? 0 : size) << " bytes\n";
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::cout << written.m_files.size() << " files, " << total << " bytes in " << ms << " ms\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vantor-mkdata: writes sample, benchmark and fuzzing data for Vantorscope"};
    app.require_subcommand(1);

    std::string sampleDir;
    auto* sample = app.add_subcommand("sample", "The small bundled sample set (a master and three plugins)");
    sample->add_option("dir", sampleDir, "Folder that receives \"Data Files/\" and Morrowind.ini")->required();

    std::string benchDir;
    CBenchOptions opts;
    std::vector<std::string> extras;
    bool quiet = false;
    auto* bench = app.add_subcommand("bench", "A Morrowind-scale master and plugins that override it");
    bench->add_option("dir", benchDir, "Folder that receives \"Data Files/\" and Morrowind.ini")->required();
    bench->add_option("--plugins", opts.m_plugins, "Number of plugins")->capture_default_str()->check(CLI::Range(0, 100000));
    bench->add_option("--master-mb", opts.m_masterMegabytes, "Approximate size of Bench.esm in megabytes")
        ->capture_default_str()
        ->check(CLI::Range(0.01, 4000.0));
    bench->add_option("--seed", opts.m_seed, "Seed; the same options and seed give the same files")->capture_default_str();
    bench->add_option("--extra-master", extras, "A further master written after Bench.esm, as NAME:MB (repeatable)");
    bench->add_option("--min-records", opts.m_minRecords, "Fewest records in a plugin")->capture_default_str()->check(CLI::Range(1, 1000000));
    bench->add_option("--max-records", opts.m_maxRecords, "Most records in a plugin")->capture_default_str()->check(CLI::Range(1, 1000000));
    bench->add_option("--from-masters", opts.m_fromMasters, "Share of a plugin's records that override master records")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 1.0));
    bench->add_option("--from-plugins", opts.m_fromPlugins, "Share that overrides earlier plugins' own records")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 1.0));
    bench->add_option("--unchanged", opts.m_unchanged, "Share of overrides that copy the record unchanged")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 1.0));
    bench->add_option("--deleted", opts.m_deleted, "Share of overrides that delete the record")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 1.0));
    bench->add_flag("--quiet", quiet, "Print only the summary line");

    std::string seedsDir;
    auto* seeds = app.add_subcommand("seeds", "Small well-formed and damaged plugins to seed the fuzzer");
    seeds->add_option("dir", seedsDir, "Folder for the seed files")->required();
    std::vector<std::string> recordsFrom;
    seeds->add_option("--records-from", recordsFrom, "Plugins whose records, a few of each type, become seeds of their own")
        ->check(CLI::ExistingFile);

    CLI11_PARSE(app, argc, argv);
    const auto start = std::chrono::steady_clock::now();
    if (*sample) return Report(WriteSampleSet(sampleDir), start, false);
    if (*seeds) return Report(WriteFuzzSeeds(seedsDir, recordsFrom), start, true);

    for (const auto& e : extras) {
        const auto colon = e.rfind(':');
        CExtraMaster extra;
        try {
            if (colon == std::string::npos || colon == 0) throw std::invalid_argument(e);
            extra = {e.substr(0, colon), std::stod(e.substr(colon + 1))};
        } catch (const std::exception&) {
            std::cerr << "vantor-mkdata: --extra-master wants NAME:MB, not \"" << e << "\"\n";
            return 2;
        }
        if (!(extra.m_megabytes > 0)) {
            std::cerr << "vantor-mkdata: --extra-master " << e << ": the size must be positive\n";
            return 2;
        }
        opts.m_extraMasters.push_back(extra);
    }
    if (opts.m_minRecords > opts.m_maxRecords) {
        std::cerr << "vantor-mkdata: --min-records is larger than --max-records\n";
        return 2;
    }
    if (opts.m_fromMasters + opts.m_fromPlugins > 1 || opts.m_unchanged + opts.m_deleted > 1) {
        std::cerr << "vantor-mkdata: the shares add up to more than 1\n";
        return 2;
    }
    return Report(WriteBenchSet(benchDir, opts), start, quiet);
}
