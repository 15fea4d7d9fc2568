#include "platform/Digest.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vantor::platform {

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;

std::uint64_t Rotate(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

// Little-endian whatever the machine, so a digest means the same bytes
// everywhere.
std::uint64_t Word(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
}

std::uint64_t Round(std::uint64_t lane, std::uint64_t word) { return Rotate(lane + word * kPrime2, 31) * kPrime1; }

std::uint64_t Mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    return h ^ (h >> 32);
}

}  // namespace

CDigest::CDigest() : m_lanes{kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1} {}

void CDigest::Block(const char* p) {
    // Four independent lanes: the multiplications of one block overlap.
    for (int i = 0; i < 4; ++i) m_lanes[i] = Round(m_lanes[i], Word(p + 8 * i));
}

void CDigest::Add(std::string_view bytes) {
    m_total += bytes.size();
    const char* p = bytes.data();
    std::size_t n = bytes.size();
    if (m_pendingSize) {
        const std::size_t take = std::min(n, kBlock - m_pendingSize);
        std::memcpy(m_pending + m_pendingSize, p, take);
        m_pendingSize += take;
        p += take;
        n -= take;
        if (m_pendingSize < kBlock) return;
        Block(m_pending);
        m_pendingSize = 0;
    }
    // The lanes in locals: stored through `this` they would be reloaded
    // after every read of the bytes, which may alias them.
    std::uint64_t a = m_lanes[0], b = m_lanes[1], c = m_lanes[2], d = m_lanes[3];
    for (; n >= kBlock; p += kBlock, n -= kBlock) {
        a = Round(a, Word(p));
        b = Round(b, Word(p + 8));
        c = Round(c, Word(p + 16));
        d = Round(d, Word(p + 24));
    }
    m_lanes[0] = a;
    m_lanes[1] = b;
    m_lanes[2] = c;
    m_lanes[3] = d;
    std::memcpy(m_pending, p, n);
    m_pendingSize = n;
}

std::uint64_t CDigest::Value() const {
    std::uint64_t h = Rotate(m_lanes[0], 1) + Rotate(m_lanes[1], 7) + Rotate(m_lanes[2], 12) + Rotate(m_lanes[3], 18);
    for (std::uint64_t lane : m_lanes) h = (h ^ Round(0, lane)) * kPrime1 + kPrime3;
    h += m_total;
    std::size_t i = 0;
    for (; i + 8 <= m_pendingSize; i += 8) h = Rotate(h ^ Round(0, Word(m_pending + i)), 27) * kPrime1 + kPrime3;
    for (; i < m_pendingSize; ++i)
        h = Rotate(h ^ (static_cast<unsigned char>(m_pending[i]) * kPrime1), 11) * kPrime2;
    return Mix(h);
}

}  // namespace vantor::platform
