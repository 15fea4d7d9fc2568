// Walking a file's bytes through a block of memory; see CFileWalk.
#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/Files.h"
#include "platform/FilesDetail.h"

namespace vantor::platform {

namespace {

// The walks' blocks, kept once used: a fresh block costs a page fault for
// each of its pages, a block used again none.
std::mutex g_spareMutex;
std::vector<void*> g_spare;
constexpr std::size_t kMostSpare = 4;

char* TakeBlock() {
    {
        std::lock_guard lock(g_spareMutex);
        if (!g_spare.empty()) {
            void* block = g_spare.back();
            g_spare.pop_back();
            return static_cast<char*>(block);
        }
    }
    return static_cast<char*>(detail::AllocateLargeBlock());
}

void GiveBack(char* block) {
    if (!block) return;
    {
        std::lock_guard lock(g_spareMutex);
        if (g_spare.size() < kMostSpare) {
            g_spare.push_back(block);
            return;
        }
    }
    detail::FreeLargeBlock(block);
}

}  // namespace

CFileWalk::~CFileWalk() { GiveBack(m_block); }

bool CFileWalk::Start(bool held) {
    m_bytes.reset();
    m_mapped = !held && m_file.Map(m_bytes, m_identity);
    m_failed = false;
    m_blockAt = m_blockSize = m_digested = 0;
    m_digest = CDigest();
    if (!m_mapped) {
        // Read whole; ReadAll keeps the read state.
        std::string bytes;
        if (!m_file.ReadAll(bytes)) return false;
        auto heldBytes = std::make_shared<CFileBytes>();
        heldBytes->Hold(std::move(bytes));
        m_bytes = std::move(heldBytes);
    } else {
        m_file.m_readState.reset();
        if (!m_block) m_block = TakeBlock();
    }
    return true;
}

bool CFileWalk::ReadInto(char* out, std::size_t at, std::size_t size) {
    // A test's short read stands for a file that shrank while it was walked.
    if (ShouldFail(EFileOp::ShortRead, m_file.Path())) return false;
    while (size > 0) {
        std::size_t got = 0;
        if (!m_file.ReadAt(at, out, size, got) || got == 0) return false;
        at += got;
        out += got;
        size -= got;
    }
    return true;
}

bool CFileWalk::Fill(std::size_t at) {
    // The block holds nothing to give until the read below has filled it.
    m_blockSize = 0;
    // Bytes passed over unread still count in the digest.
    while (m_digested < at) {
        const std::size_t size = std::min(kLargeBlock, at - m_digested);
        if (!ReadInto(m_block, m_digested, size)) return false;
        m_digest.Add({m_block, size});
        m_digested += size;
    }
    const std::size_t size = std::min(kLargeBlock, Size() - at);
    if (!ReadInto(m_block, at, size)) return false;
    m_blockAt = at;
    m_blockSize = size;
    if (at + size > m_digested) {
        m_digest.Add({m_block + (m_digested - at), at + size - m_digested});
        m_digested = at + size;
    }
    return true;
}

std::string_view CFileWalk::At(std::size_t at, std::size_t size) {
    const std::string_view all = m_bytes ? m_bytes->View() : std::string_view();
    if (at >= all.size()) return all.substr(all.size());
    size = std::min(size, all.size() - at);
    if (!m_mapped) return all.substr(at, size);
    if (at >= m_blockAt && at + size <= m_blockAt + m_blockSize) return {m_block + (at - m_blockAt), size};
    // A piece larger than a block (a record of megabytes), or one met after
    // a read failed, comes from the mapping itself.
    if (m_failed || size > kLargeBlock) return all.substr(at, size);
    if (!Fill(at)) {
        m_failed = true;
        return all.substr(at, size);
    }
    return {m_block + (at - m_blockAt), size};
}

std::string_view CFileWalk::Kept(std::string_view piece) const {
    if (!m_mapped || piece.data() < m_block || piece.data() >= m_block + m_blockSize) return piece;
    return m_bytes->View().substr(m_blockAt + std::size_t(piece.data() - m_block), piece.size());
}

bool CFileWalk::Finish() {
    if (!m_mapped) return true;
    // The rest of the file, which the walk did not reach, is read for the
    // digest too.
    if (!m_failed && m_digested < Size()) m_failed = !Fill(Size());
    const std::optional<CFileIdentity> now = m_file.IdentityNow();
    if (m_failed || m_bytes->Cut() || !now || !(*now == m_identity)) return false;
    m_file.m_readState = CFileState{m_identity, m_digest.Value()};
    return true;
}

}  // namespace vantor::platform
