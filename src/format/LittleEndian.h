#pragma once
// Numbers in plugin files are little-endian. Reads never go past the end of
// the bytes: a byte that is not there counts as zero, so a field cut short by
// the end of a record reads as its present bytes.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vantor::le {

// The unsigned number in the `width` bytes at `at` (width up to 8).
inline std::uint64_t Get(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint64_t v = 0;
    for (std::size_t k = 0; k < width; ++k)
        if (at < bytes.size() && k < bytes.size() - at)
            v |= std::uint64_t(static_cast<unsigned char>(bytes[at + k])) << (8 * k);
    return v;
}

inline std::uint16_t U16(std::string_view bytes, std::size_t at) { return std::uint16_t(Get(bytes, at, 2)); }
inline std::uint32_t U24(std::string_view bytes, std::size_t at) { return std::uint32_t(Get(bytes, at, 3)); }
inline std::uint32_t U32(std::string_view bytes, std::size_t at) { return std::uint32_t(Get(bytes, at, 4)); }
inline std::uint64_t U64(std::string_view bytes, std::size_t at) { return Get(bytes, at, 8); }
inline std::int8_t I8(std::string_view bytes, std::size_t at) { return std::int8_t(std::uint8_t(Get(bytes, at, 1))); }
inline std::int16_t I16(std::string_view bytes, std::size_t at) { return std::int16_t(U16(bytes, at)); }
inline std::int32_t I32(std::string_view bytes, std::size_t at) { return std::int32_t(U32(bytes, at)); }
inline float F32(std::string_view bytes, std::size_t at) {
    const std::uint32_t u = U32(bytes, at);
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// Appends the low `width` bytes of v.
inline void Put(std::string& out, std::uint64_t v, std::size_t width) {
    for (std::size_t k = 0; k < width; ++k) out.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}
inline void PutU16(std::string& out, std::uint16_t v) { Put(out, v, 2); }
inline void PutU32(std::string& out, std::uint32_t v) { Put(out, v, 4); }
inline void PutU64(std::string& out, std::uint64_t v) { Put(out, v, 8); }
inline void PutI16(std::string& out, std::int16_t v) { Put(out, std::uint16_t(v), 2); }
inline void PutI32(std::string& out, std::int32_t v) { Put(out, std::uint32_t(v), 4); }
inline void PutF32(std::string& out, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    PutU32(out, u);
}

// Overwrites 4 bytes at `at`; false, changing nothing, when they are not all there.
inline bool SetU32(std::string& bytes, std::size_t at, std::uint32_t v) {
    if (at > bytes.size() || bytes.size() - at < 4) return false;
    for (std::size_t k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>((v >> (8 * k)) & 0xFF);
    return true;
}

}  // namespace vantor::le
