#pragma once
// One row of a result pane as the engine finds it: which entry, in which
// file, what was found, and the files the row names. The texts the panes
// show are made from it when they are shown or written, so a load order
// with millions of conflicts costs a few dozen bytes a row.
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "format/Entry.h"
#include "platform/Files.h"

namespace vantor {

enum class EFinding : std::uint8_t {
    Conflict,       // two plugins define the entry with different data
    Deleted,        // the entry is marked deleted
    Unclean,        // identical to the master's record
    GlobalChange,   // changes the master's record
    Found,          // a search hit in a plugin
    FoundInMaster,  // a search hit in a master
    Listed,         // a plugin's entry in the editor listing
    ListedMaster,   // a master's entry in the editor listing
    CellClean,      // a plugin's cell that cell cleaning changes; m_original: the master compared with
};

// A file of the engine's list (plugins and masters in the order they were
// added); kNoFile for none.
using CFileIndex = std::uint16_t;
inline constexpr CFileIndex kNoFile = 0xFFFF;
inline constexpr std::size_t kMaxFiles = kNoFile;

struct CFinding {
    const CEntry* m_entry = nullptr;  // the entry the row is about; for a conflict, the overriding plugin's
    const CEntry* m_other = nullptr;  // a conflict's entry in the overridden plugin
    CFileIndex m_file = kNoFile;      // the file that holds m_entry
    CFileIndex m_otherFile = kNoFile;  // a conflict's overridden plugin
    CFileIndex m_original = kNoFile;   // the entry's original master
    std::uint8_t m_table = 0;          // the record tag's index among the 41
    EFinding m_kind = EFinding::Conflict;
};
static_assert(sizeof(CFinding) <= 24, "a finding is one of millions");

// The room a list of findings is made of: its blocks of rows come from the
// process's shared slots (platform::AllocateSlot), which cost a fraction of
// the page faults and no call into the system each; anything else comes
// from the heap.
template <class T>
struct CRowAllocator {
    using value_type = T;
    CRowAllocator() = default;
    template <class U>
    CRowAllocator(const CRowAllocator<U>&) {}
    static bool InSlot(std::size_t n) { return n * sizeof(T) <= platform::kSlot && n * sizeof(T) > platform::kSlot / 2; }
    T* allocate(std::size_t n) {
        if (InSlot(n)) return static_cast<T*>(platform::AllocateSlot());
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) {
        if (InSlot(n))
            platform::FreeSlot(p);
        else
            std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const CRowAllocator<U>&) const {
        return true;
    }
};

// Findings in blocks: a list of millions grows without moving its rows, and
// so never needs room for them twice.
using CFindings = std::deque<CFinding, CRowAllocator<CFinding>>;

class CPluginFile;

// Takes a check's conflicts as they are found, a run of rows at a time, so
// that a check whose rows are written out as they come never holds them
// all: a load order of hundreds of plugins has millions.
class CFindingSink {
public:
    explicit CFindingSink(std::size_t run = 8192) : m_run(run ? run : 1) {}
    virtual ~CFindingSink() = default;
    // The next rows; `files` is what their file indexes name. The rows are
    // the sink's to use up: the engine empties the list afterwards.
    virtual void Take(const std::vector<const CPluginFile*>& files, CFindings& rows) = 0;
    // How many rows a run holds at most.
    std::size_t Run() const { return m_run; }

private:
    std::size_t m_run;
};

}  // namespace vantor
