// Files mapped instead of read, on POSIX systems. A mapped file that another
// program truncates would raise SIGBUS at the first touch of a page past its
// new end; a handler puts zero pages there instead and marks the mapping as
// cut, so a file changed under us is a changed file, never a crash. (The
// writer's own saves replace a file by renaming over it, which leaves the
// mapped one whole.)
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>

#include "platform/Files.h"
#include "platform/FilesDetail.h"

namespace vantor::platform {

namespace {

struct CGuardSlot {
    std::atomic<std::uintptr_t> m_begin{0};  // 0: free
    std::atomic<std::uintptr_t> m_end{0};
    std::atomic<bool> m_cut{false};
};
// Blocks are only ever added, so the handler can walk them without a lock.
struct CGuardBlock {
    CGuardSlot m_slots[256];
    std::atomic<CGuardBlock*> m_next{nullptr};
};

std::atomic<CGuardBlock*> g_blocks{nullptr};
std::mutex g_claims;  // claiming and freeing slots; the handler only reads
std::uintptr_t g_pageSize = 4096;
struct sigaction g_previous {};

void OnBusError(int sig, siginfo_t* info, void* context) {
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (CGuardBlock* b = g_blocks.load(std::memory_order_acquire); b; b = b->m_next.load(std::memory_order_acquire))
        for (CGuardSlot& slot : b->m_slots) {
            const std::uintptr_t begin = slot.m_begin.load(std::memory_order_acquire);
            const std::uintptr_t end = slot.m_end.load(std::memory_order_acquire);
            if (begin == 0 || at < begin || at >= end) continue;
            // Everything from this page on reads as zeros; the file ended
            // somewhere before it.
            const std::uintptr_t page = at & ~(g_pageSize - 1);
            if (::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1,
                       0) == MAP_FAILED)
                break;
            slot.m_cut.store(true, std::memory_order_release);
            return;
        }
    // Not a mapping of ours: as it would have been without us.
    if (g_previous.sa_flags & SA_SIGINFO) {
        if (g_previous.sa_sigaction) return g_previous.sa_sigaction(sig, info, context);
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        return g_previous.sa_handler(sig);
    }
    ::signal(sig, SIG_DFL);  // the fault comes again on return and ends the process
}

void InstallHandler() {
    g_pageSize = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_previous);
}

CGuardSlot* Claim(const void* data, std::size_t size) {
    std::lock_guard lock(g_claims);
    CGuardBlock* last = nullptr;
    for (CGuardBlock* b = g_blocks.load(std::memory_order_acquire); b; b = b->m_next.load(std::memory_order_acquire)) {
        for (CGuardSlot& slot : b->m_slots)
            if (slot.m_begin.load(std::memory_order_relaxed) == 0) {
                slot.m_cut.store(false, std::memory_order_relaxed);
                slot.m_end.store(reinterpret_cast<std::uintptr_t>(data) + size, std::memory_order_release);
                slot.m_begin.store(reinterpret_cast<std::uintptr_t>(data), std::memory_order_release);
                return &slot;
            }
        last = b;
    }
    auto* block = new CGuardBlock;
    CGuardSlot& slot = block->m_slots[0];
    slot.m_end.store(reinterpret_cast<std::uintptr_t>(data) + size, std::memory_order_relaxed);
    slot.m_begin.store(reinterpret_cast<std::uintptr_t>(data), std::memory_order_relaxed);
    (last ? last->m_next : g_blocks).store(block, std::memory_order_release);
    return &slot;
}

// Room of `size` bytes (whole pages) that starts at a large page's
// boundary, with protection `prot`: mapped a large page larger and the
// spare room on either side given back, since only an aligned large page
// can be a huge one. Null when the system gives no room.
void* AlignedRoom(std::size_t size, int prot) {
    const std::size_t span = size + kLargeBlock;
    void* room = ::mmap(nullptr, span, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (room == MAP_FAILED) return nullptr;
    const auto begin = reinterpret_cast<std::uintptr_t>(room);
    const std::uintptr_t start = (begin + kLargeBlock - 1) & ~(kLargeBlock - 1);
    if (start > begin) ::munmap(room, start - begin);
    if (begin + span > start + size) ::munmap(reinterpret_cast<void*>(start + size), begin + span - (start + size));
    return reinterpret_cast<void*>(start);
}

// A file of a large page or more is mapped at a large page's boundary, and
// the system told it may hold the file in large pages: where the cache holds
// it so, the first touch of 2 MB maps them at one fault instead of 512 (on
// a virtual machine the first touch of every page mapped costs more than
// reading the page). Null when this way is not open; the plain mapping is
// then made.
void* MapInLargePages(int fd, std::size_t size) {
#ifdef MADV_HUGEPAGE
    if (size < kLargeBlock) return nullptr;
    const std::size_t pages = (size + g_pageSize - 1) & ~(g_pageSize - 1);
    void* room = AlignedRoom(pages, PROT_NONE);
    if (!room) return nullptr;
    void* at = ::mmap(room, size, PROT_READ, MAP_PRIVATE | MAP_FIXED, fd, 0);
    if (at == MAP_FAILED) {
        ::munmap(room, pages);
        return nullptr;
    }
    ::madvise(at, size, MADV_HUGEPAGE);
    return at;
#else
    (void)fd;
    (void)size;
    return nullptr;
#endif
}

}  // namespace

bool CFileBytes::Map(std::intptr_t handle, std::size_t size) {
    static std::once_flag installed;
    std::call_once(installed, InstallHandler);
    void* at = MapInLargePages(int(handle), size);
    // Not populated: the reader meets the bytes through reads (CFileWalk),
    // and only the pages of records looked at again are ever touched. Filled
    // at once, the page tables would cost time for pages never used, and
    // every page would count as the process's memory.
    if (!at) at = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, int(handle), 0);
    if (at == MAP_FAILED) return false;
    m_data = static_cast<const char*>(at);
    m_size = size;
    m_guard = Claim(at, size);
    return true;
}

bool CFileBytes::Cut() const {
    return m_guard && static_cast<const CGuardSlot*>(m_guard)->m_cut.load(std::memory_order_acquire);
}

CFileBytes::~CFileBytes() {
    if (!m_guard) return;
    {
        std::lock_guard lock(g_claims);
        static_cast<CGuardSlot*>(m_guard)->m_begin.store(0, std::memory_order_release);
    }
    ::munmap(const_cast<char*>(m_data), m_size);
}

// Transparent huge pages are kLargeBlock large and aligned on the systems
// that have them; elsewhere the advice is ignored.
void* detail::AllocateLargeBlock() {
    void* at = AlignedRoom(kLargeBlock, PROT_READ | PROT_WRITE);
    if (!at) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(at, kLargeBlock, MADV_HUGEPAGE);
#endif
    return at;
}

void detail::FreeLargeBlock(void* block) {
    if (block) ::munmap(block, kLargeBlock);
}

}  // namespace vantor::platform
