#include "FloorWalk.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vantor::bench {

namespace {

constexpr std::size_t kBlock = std::size_t(1) << 20;

std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Headers as the blocks arrive: a 16-byte record header, then the 8-byte
// headers of its subrecords up to the record's end. A header cut by a
// block's end is completed from the next block.
struct CWalker {
    std::uint64_t m_next = 0;       // where the next header starts
    std::uint64_t m_recordEnd = 0;  // before this, the next header is a subrecord's
    unsigned char m_head[16] = {};
    std::size_t m_have = 0;  // bytes of a cut header gathered so far
    CFloorWalk* m_counts = nullptr;

    void Feed(const unsigned char* block, std::size_t n, std::uint64_t at) {
        const std::uint64_t end = at + n;
        while (m_next + m_have < end) {
            const bool sub = m_next < m_recordEnd;
            const std::size_t need = sub ? 8 : 16;
            if (m_have == 0 && m_next >= at && m_next + need <= end) {
                Visit(block + (m_next - at), sub);
                continue;
            }
            const std::size_t from = std::size_t(m_next + m_have - at);
            const std::size_t take = std::min<std::size_t>(need - m_have, n - from);
            std::memcpy(m_head + m_have, block + from, take);
            m_have += take;
            if (m_have < need) return;
            m_have = 0;
            Visit(m_head, sub);
        }
    }

    void Visit(const unsigned char* head, bool sub) {
        const std::uint32_t size = Le32(head + 4);
        if (sub) {
            ++m_counts->m_subrecords;
            m_next = std::min(m_next + 8 + size, m_recordEnd);
        } else {
            ++m_counts->m_records;
            m_recordEnd = m_next + 16 + size;
            m_next += 16;
        }
    }
};

void WalkOnce(const std::vector<std::string>& paths, unsigned char* buffer, CFloorWalk& counts) {
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::perror(("vantor floor walk: " + path).c_str());
            std::exit(1);
        }
        CWalker walker;
        walker.m_counts = &counts;
        std::uint64_t at = 0;
        for (;;) {
            const ssize_t got = ::read(fd, buffer, kBlock);
            if (got < 0) {
                std::perror(("vantor floor walk: " + path).c_str());
                std::exit(1);
            }
            if (got == 0) break;
            walker.Feed(buffer, std::size_t(got), at);
            at += std::uint64_t(got);
        }
        counts.m_bytes += at;
        ::close(fd);
    }
}

}  // namespace

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

CFloorWalk FloorWalk(const std::vector<std::string>& paths, int runs) {
    static unsigned char buffer[kBlock];
    CFloorWalk best;
    for (int run = 0; run < std::max(1, runs); ++run) {
        CFloorWalk counts;
        const double start = ProcessCpuSeconds();
        WalkOnce(paths, buffer, counts);
        counts.m_cpuSeconds = ProcessCpuSeconds() - start;
        if (run == 0 || counts.m_cpuSeconds < best.m_cpuSeconds) best = counts;
    }
    return best;
}

}  // namespace vantor::bench
