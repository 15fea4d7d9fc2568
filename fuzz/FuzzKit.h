#pragma once
// Shared by the fuzz targets: a failed property aborts with its reason, and
// plugins are read from in-memory files (memfd reached through
// /proc/self/fd), so the reader runs through its ordinary Open.
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "format/PluginFile.h"

namespace vantor::fuzz {

[[noreturn]] inline void Fail(const char* what, const CEntry* e = nullptr) {
    std::fprintf(stderr, "fuzz: %s", what);
    if (e) std::fprintf(stderr, " (offset %lld, size %lld)", static_cast<long long>(e->m_offset), static_cast<long long>(e->m_size));
    std::fprintf(stderr, "\n");
    std::abort();
}

inline void Check(bool ok, const char* what = "a property does not hold") {
    if (!ok) Fail(what);
}

// Memory file `slot` (0 or 1), made once.
inline int MemoryFile(int slot) {
    static const int fds[2] = {memfd_create("vantor-fuzz-0", 0), memfd_create("vantor-fuzz-1", 0)};
    return fds[slot];
}

// Makes `bytes` the whole content of memory file `slot`.
inline void PutInMemory(int slot, std::string_view bytes) {
    const int fd = MemoryFile(slot);
    if (fd < 0 || ftruncate(fd, 0) != 0 ||
        (!bytes.empty() && pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())))
        Fail("cannot write the input to memory");
}

// Reads memory file `slot` as a plugin, as often as a target needs without
// writing it again; `ok` is what ReadRecords answered.
inline std::unique_ptr<CPluginFile> ReadInMemory(int slot, const CExtractOpts& opts, std::int32_t stopFlag = 0,
                                                 bool* ok = nullptr) {
    auto file = std::make_unique<CPluginFile>();
    std::atomic<std::int32_t> stop{stopFlag};
    if (!file->Open(std::to_string(MemoryFile(slot)), "/proc/self/fd/")) Fail("cannot open the input");
    const bool read = file->ReadRecords(stop, opts);
    if (ok) *ok = read;
    file->Close();
    return file;
}

}  // namespace vantor::fuzz
