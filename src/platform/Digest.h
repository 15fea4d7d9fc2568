#pragma once
// A fast 64-bit digest of bytes, to tell whether a file still holds exactly
// what was read from it. Not cryptographic: it guards against accidents
// (another program saving the file), not against an adversary.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantor::platform {

class CDigest {
public:
    CDigest();
    // The digest of the bytes added so far does not depend on how they were
    // split between calls.
    void Add(std::string_view bytes);
    std::uint64_t Value() const;

    static std::uint64_t Of(std::string_view bytes) {
        CDigest d;
        d.Add(bytes);
        return d.Value();
    }

private:
    static constexpr std::size_t kBlock = 32;
    void Block(const char* p);

    std::uint64_t m_lanes[4];
    std::uint64_t m_total = 0;
    char m_pending[kBlock];
    std::size_t m_pendingSize = 0;
};

}  // namespace vantor::platform
