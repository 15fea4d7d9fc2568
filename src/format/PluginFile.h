#pragma once
// One loaded plugin or master: its name and folder and one table of entries
// per record tag, in file order.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format/Backup.h"
#include "format/Entry.h"
#include "format/RecordTypes.h"
#include "format/SubRecord.h"
#include "format/WriteResult.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

namespace vantor {

// An entry as a table holds it. The entry itself lives in its file's entry
// store, made thousands at a time rather than one allocation a record; it
// never moves and lives as long as the file, so rows and indexes may point
// at it.
class CEntryPtr {
public:
    CEntryPtr() = default;
    explicit CEntryPtr(CEntry* entry) : m_entry(entry) {}
    CEntry* get() const { return m_entry; }
    CEntry* operator->() const { return m_entry; }
    CEntry& operator*() const { return *m_entry; }
    explicit operator bool() const { return m_entry != nullptr; }

private:
    CEntry* m_entry = nullptr;
};

using CEntryTable = std::vector<CEntryPtr>;

// The four data-keeping switches of the option set; non-zero means on.
struct CExtractOpts {
    std::int32_t m_cellData = 1;
    std::int32_t m_dialogText = 1;
    std::int32_t m_landData = 0;
    std::int32_t m_pathGridData = 0;
    static CExtractOpts All() { return {1, 1, 1, 1}; }
};

// Why the bytes are no TES3 plugin or master (empty, another kind of file, or
// cut inside its header record), or "" when they begin with a whole TES3
// header record.
std::string WhyNotAPlugin(std::string_view bytes);
// The same for a file of `fileSize` bytes that begins with `start` (its
// first 16 bytes, fewer when it is shorter).
std::string WhyNotAPlugin(std::string_view start, std::size_t fileSize);

// Why a read ended badly, or what it passed over, with the file, the record
// and the offset where it happened.
struct CReadDiagnostic {
    enum class EKind {
        None,
        ReadFailed,  // the read failed: nothing of the file is loaded
        Exception,   // an exception ended the read: nothing is loaded
        NotAPlugin,  // no TES3 plugin or master: refused, nothing is loaded
        Damaged,     // a record cut short, or without its ID, was passed over
        Skipped,     // bytes that are no known record were passed over
    };
    EKind m_kind = EKind::None;
    std::string m_message;  // "" when the read was clean
};

class CPluginFile {
public:
    // One table per record type, in the order of kRecordTypes.
    static constexpr std::size_t kTableCount = kRecordTypeCount;
    static const std::array<std::string_view, kTableCount> kTags;
    // Index of a tag among the tables, or -1.
    static int TagIndex(std::string_view tag);

    CPluginFile();
    CPluginFile(const CPluginFile&) = delete;
    CPluginFile& operator=(const CPluginFile&) = delete;

    // Keeps both names (FileName and Folder answer from now on, whether or
    // not the file opens) and opens folder + fileName for reading.
    bool Open(const std::string& fileName, const std::string& folder);
    bool ReadRecords(const std::atomic<std::int32_t>& stop, const CExtractOpts& opts);
    bool Close();

    // The table of one of the 41 tags; nullptr for any other key.
    CEntryTable* GetTable(std::string_view tag);
    const CEntryTable* GetTable(std::string_view tag) const;
    CEntryTable& Table(std::size_t index) { return m_tables[index]; }
    const CEntryTable& Table(std::size_t index) const { return m_tables[index]; }

    // Moves an entry (by identity) from the table of `tag` to the removed
    // entries after its record was erased on disk.
    bool DetachEntry(const CEntry* entry, std::string_view tag);

    // Changes on disk (Writer.cpp). Each works on an exclusively created copy
    // beside the plugin and renames it over the plugin once the backup
    // exists, keeping the plugin's times, mode and owner; on failure the
    // plugin and the model are unchanged. A change is made only to the file
    // this object read (or last wrote) as it was then, byte for byte, and
    // only to whole records; one process at a time changes a file. The policy
    // decides when the backup name is taken, and hears of a wait for another
    // process.
    CWriteResult MakeBackup(const std::string& pluginPath, CBackupPolicy& policy);
    // NothingToWrite, without writing, when the new data equals the entry's.
    CWriteResult RewriteEntry(CEntry& entry, const CSubRecords& subs, CBackupPolicy& policy);
    // The caller detaches the entry after success.
    CWriteResult EraseEntry(const CEntry& entry, CBackupPolicy& policy);
    // Erases entries of this file's tables in one pass and detaches them;
    // `erased` says which were erased (all or none of those found).
    CWriteResult EraseEntries(const std::vector<const CEntry*>& entries, CBackupPolicy& policy,
                              std::vector<bool>& erased);
    // One change of many made in one pass: an entry's new data (its record's
    // bytes after the ID subrecords, raw), or the record erased.
    struct CEntryChange {
        const CEntry* m_entry = nullptr;
        bool m_erase = false;
        std::string m_data;
    };
    // Makes the changes to entries of this file's tables in one pass, one
    // backup first, the header's record count kept true. Changes to entries
    // not in the tables, repeats of an entry and rewrites to the data the
    // entry holds are passed over; the model follows the rest (rewritten
    // entries hold their new data, erased ones are detached), and `done` says
    // which were made (all or none of those not passed over). NothingToWrite,
    // without writing, when none is left; NotExtracted or TooLarge, without
    // writing, when any rewrite cannot be made.
    CWriteResult ChangeEntries(std::vector<CEntryChange> changes, CBackupPolicy& policy, std::vector<bool>& done);
    // Ok when the file on disk still holds exactly the bytes this object read
    // (or last wrote), else ChangedOnDisk (or Inspect when it cannot be
    // read): the test every change above makes first, for an output built
    // from this file's entries. A file rewritten in place while mapped would
    // otherwise hand on bytes that were never read as they are now.
    CWriteResult CheckUnchanged() const;
    // Where the entry's record starts on disk now, after the changes so far.
    std::int64_t CurrentOffset(const CEntry& entry) const;

    const std::string& FileName() const { return m_fileName; }
    const std::string& Folder() const { return m_folder; }
    std::string FullPath() const { return m_folder + m_fileName; }
    std::size_t EntryCount() const;
    // The failure of a read that returned false; after a read that did not,
    // the first of Diagnostics(), or one of kind None.
    const CReadDiagnostic& Diagnostic() const;
    // All the last read has to report: its failure alone, or each kind of
    // damage it passed over once, where it first met it, with the number of
    // other places like it in the file.
    const std::vector<CReadDiagnostic>& Diagnostics() const { return m_diagnostics; }
    // From the TES3 header record the file begins with (empty, and no count,
    // when it has none): the masters its MAST subrecords name, in order, and
    // the record count its HEDR states.
    const std::vector<std::string>& HeaderMasters() const { return m_headerMasters; }
    std::optional<std::uint32_t> HeaderRecordCount() const { return m_headerRecordCount; }

    // A backup made, or an existing one accepted, during this object's life.
    bool BackedUp() const { return m_backup.m_made; }
    const std::string& BackupPath() const { return m_backup.m_path; }
    // The entries erased from the file on disk, owned here, and those whose
    // record was rewritten (they stay in their tables); together they tell
    // where every record lies now.
    const CEntryTable& RemovedEntries() const { return m_removed; }
    const std::vector<CEntry*>& RewrittenEntries() const { return m_rewritten; }

private:
    struct CSplice;
    CWriteResult ApplySplices(const std::vector<CSplice>& splices, CBackupPolicy& policy);
    CWriteResult LockForChange(platform::CFileLock& lock, const std::string& target, const std::string& pluginPath,
                               CBackupPolicy& policy);
    CWriteResult ReadUnchanged(const std::string& target, const std::string& pluginPath, std::string& bytes) const;
    // Sets the header's record count in the bytes of the changed file.
    void WriteRecordCount(std::string& bytes, std::int64_t erasing) const;
    // The model after the entry's record was rewritten with `newData`.
    void NoteRewritten(CEntry& entry, std::string newData);
    bool ParseBuffer(platform::CFileWalk& walk, const std::atomic<std::int32_t>& stop, const CExtractOpts& opts);

    // The entries the tables and m_removed point at, made a piece of room
    // at a time as the file turns out to hold more records. A piece's room
    // is constructed only as it is used.
    class CEntryStore {
    public:
        CEntryStore() = default;
        CEntryStore(const CEntryStore&) = delete;
        CEntryStore& operator=(const CEntryStore&) = delete;
        ~CEntryStore();
        CEntry* New();
        // Room for a response's place, as long as the store lives.
        CResponsePlace* NewPlace();
        // A copy of `bytes` that lives as long as the store: the entries'
        // IDs and chain texts, packed together instead of one allocation
        // each.
        CEntryText Keep(std::string_view bytes);
        // Back to empty: every entry and text is gone.
        void Clear();

    private:
        // Entries, places and texts live in pieces of the process's shared
        // blocks (platform::AllocateChunk); a text too long for one has its
        // own.
        template <class T>
        class CPieces {
        public:
            T* New();
            // Destroys every object made and gives the pieces back.
            void Clear();

        private:
            struct CPiece {
                T* m_items;
                std::size_t m_used;
            };
            std::vector<CPiece> m_pieces;
        };
        CPieces<CEntry> m_entryPieces;
        CPieces<CResponsePlace> m_placePieces;
        std::vector<char*> m_texts;
        std::vector<std::unique_ptr<char[]>> m_longTexts;
        char* m_textAt = nullptr;
        std::size_t m_textLeft = 0;
    };

    CEntryStore m_entries;
    std::array<CEntryTable, kTableCount> m_tables;
    std::string m_fileName;
    std::string m_folder;
    CBackupState m_backup;
    CEntryTable m_removed;
    std::vector<CEntry*> m_rewritten;
    platform::CReadFile m_readFile;
    std::vector<CReadDiagnostic> m_diagnostics;
    // The file as this object last wrote it; until then it is as read.
    std::optional<platform::CFileState> m_written;
    std::vector<std::string> m_headerMasters;
    std::optional<std::uint32_t> m_headerRecordCount;
    // Where the HEDR record count lies in the file, or -1.
    std::int64_t m_headerCountOffset = -1;
    // Records after the header, when the file was read as whole records from
    // end to end; -1 when it was not (junk, damage, an early stop).
    std::int64_t m_recordsInFile = -1;
};

}  // namespace vantor
