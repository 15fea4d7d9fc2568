#pragma once
// The dialogue merge engine: reads the DIAL and INFO records of the plugins
// to repair and of the masters, relinks the response chain of every topic
// the plugins touch, and writes the chains into a repair plugin.
#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "checks/FileAges.h"
#include "engine/UserLink.h"

namespace vantor {

// One topic record as read: its NAME payload (trimmed of white space at
// both ends, zero byte kept) and every byte after the NAME subrecord.
struct CDialRecord {
    std::string m_name;
    std::string m_rest;
};

// One response record: its three link ids exactly as read (a zero byte
// included) and every byte after the NNAM subrecord.
struct CInfoRecord {
    std::string m_inam;
    std::string m_pnam;
    std::string m_nnam;
    std::string m_rest;
    CFileAge m_fileAge;      // the age of the file it came from
    std::uint32_t m_file = 0;  // the file's place among the plugins (or the masters) added
    bool m_deleted = false;  // a deletion: never written, but it removes what it deletes
};

class CDialogMerge {
public:
    // Why the last Run ended.
    enum class EOutcome { NotRun, Written, Stopped, Declined, OpenFailed, Refused, WriteFailed };

    // A topic the plugins hold, in the order the plugins first name it.
    struct CTopic {
        std::string m_key;                 // name up to its first zero byte
        std::vector<CDialRecord> m_dials;  // from plugins, in reading order
        std::vector<CInfoRecord> m_infos;  // from plugins, in reading order
        std::vector<CInfoRecord> m_chain;  // the merged result
    };

    // The plugin infos of one topic that are not placed yet, looked up by
    // the id their PNAM names.
    class CInfoPool {
    public:
        explicit CInfoPool(std::vector<CInfoRecord>& infos);
        std::size_t Size() const { return m_infos.size(); }
        bool Placed(std::size_t i) const { return m_placed[i] != 0; }

    private:
        friend class CDialogMerge;
        std::vector<CInfoRecord>& m_infos;
        std::vector<char> m_placed;
        std::unordered_map<std::string, std::vector<std::size_t>> m_byPrevious;
    };

    // Which of two files is newer comes from `ages` (the files' last-write
    // times when none is given).
    explicit CDialogMerge(CUserLink& link, CFileAges* ages = nullptr);

    void AddPlugin(const std::string& name, const std::string& folder);
    void AddMaster(const std::string& name, const std::string& folder);
    // Full path of the repair plugin (folder followed by file name).
    void SetOutputPath(const std::string& path);

    // Reads, merges and writes. 1 when the repair plugin was written or a
    // stop request ended the run (nothing is written then), 0 otherwise.
    std::int32_t Run(const std::atomic<std::int32_t>& stop);
    EOutcome Outcome() const { return m_outcome; }
    // The first damage met in the file read last (bytes passed over, a
    // record cut short).
    const std::optional<CDialogueDamageNotice>& Damage() const { return m_damage; }

    // The inner steps, public so that tests and the fuzzer can drive them.

    // Reads the dialogue records of one file's bytes into the plugin or the
    // master tables. 0 when the bytes end inside a record.
    std::int32_t ReadDialogFile(const std::atomic<std::int32_t>& stop, std::string_view bytes, CFileAge fileAge,
                                bool isPlugin);
    // 0 when the user declined a conflict; 1 when done or stopped.
    std::int32_t Merge(const std::atomic<std::int32_t>& stop);
    // Appends every unplaced pool element whose PNAM names `id`, in pool
    // order, each followed at once by everything that hangs below it.
    void LinkChain(std::string_view id, CInfoPool& pool, std::vector<CInfoRecord>& chain,
                   const std::atomic<std::int32_t>& stop);
    std::int32_t WriteRepairPlugin(const std::atomic<std::int32_t>& stop, const std::string& path);

    // The repair plugin's bytes: the header and every topic with its chain.
    // Empty when a stop request cut it short.
    std::string RepairPluginBytes(const std::atomic<std::int32_t>& stop);

    const std::vector<CTopic>& Topics() const { return m_topics; }
    // The master size written into the header.
    std::uint64_t HeaderMasterSize() const;

private:
    struct CMasterTopic {
        std::vector<CInfoRecord> m_infos;
    };

    bool ReadFiles(const std::atomic<std::int32_t>& stop, bool plugins);
    bool RefuseOutput();
    bool MergeTopic(CTopic& topic, const std::atomic<std::int32_t>& stop);
    void Progress(const std::atomic<std::int32_t>& stop, const std::string& prefix, std::size_t done,
                  std::size_t total);
    std::size_t RecordCount() const;
    void AppendTopic(std::string& out, const CTopic& topic, const std::atomic<std::int32_t>& stop) const;

    CUserLink& m_link;
    CLastWriteAges m_ownAges;
    CFileAges* m_ages;
    std::vector<std::string> m_pluginNames;
    std::vector<std::string> m_pluginFolders;
    std::vector<std::string> m_masterNames;
    std::vector<std::string> m_masterFolders;
    std::string m_outputPath;
    EOutcome m_outcome = EOutcome::NotRun;

    std::vector<CTopic> m_topics;
    std::unordered_map<std::string, std::size_t> m_topicIndex;
    std::unordered_map<std::string, CMasterTopic> m_masterTopics;
    std::optional<std::uint64_t> m_morrowindSize;
    std::uint32_t m_readingFile = 0;  // what ReadDialogFile marks its records with
    // The first damage ReadDialogFile met in the file it read, if any.
    std::optional<CDialogueDamageNotice> m_damage;

    // Successors named by master infos; one queue for the whole merge.
    std::deque<std::string> m_successors;
    std::unordered_set<std::string> m_queued;
};

}  // namespace vantor
