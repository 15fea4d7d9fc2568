#pragma once
// Inside the platform layer only: what the portable file code and the POSIX
// and Windows implementations share.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Files.h"

namespace vantor::platform::detail {

// The blocks the shared pieces are cut from: kLargeBlock bytes aligned to
// kLargeBlock, which the system may back with one large page, so that
// filling one takes a fraction of the page faults. Pieces and slots are
// found by that alignment. Throws std::bad_alloc when there is no room.
void* AllocateLargeBlock();
void FreeLargeBlock(void* block);

// The fault seam: true, with an I/O error recorded, when a test makes `op`
// on `path` fail.
bool Injected(EFileOp op, const std::string& path);
// Records a failure whose message is the system's own text.
void SetErrorWithText(int error, std::string text);
// Anything at `path`, links followed; no seam, no error recorded.
bool Exists(const std::string& path);

// Working files: folder + kWorkPrefix + process id + "-" + kWorkLetters
// random letters + kWorkSuffix.
inline constexpr const char* kWorkPrefix = ".vantor-";
inline constexpr const char* kWorkSuffix = ".tmp";
inline constexpr std::size_t kWorkLetters = 12;
std::string RandomLetters(std::size_t n);
// The process id in a working file's name, or 0 when the name is not one.
long long WorkFileOwner(const std::string& name);

#ifdef _WIN32
// Names are UTF-8 inside the program and UTF-16 for the system. Bytes that
// are not UTF-8 (a name copied from Morrowind.ini, which the game writes in
// the ANSI code page) are read in the ANSI code page, as the game reads them.
std::wstring Wide(std::string_view text);
std::string Utf8(std::wstring_view text);
// Records the calling thread's last Windows error: its nearest errno value
// for the callers that tell errors apart, the system's text for the user.
bool FailedWindows();
bool FailedWindows(unsigned long code);
// The last name of `path` as its folder spells it; none for a folder's
// root or when it cannot be listed.
std::optional<std::string> NameOnDisk(const std::string& path);
#endif

}  // namespace vantor::platform::detail
