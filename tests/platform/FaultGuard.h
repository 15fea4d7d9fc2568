#pragma once
// Makes file operations fail for one scope. The hook is cleared however the
// scope ends, so a failed ASSERT cannot leave it failing later tests' calls.
#include "platform/Files.h"

namespace vantor::platform {

struct CFaultScope {
    explicit CFaultScope(CFaultHook hook) { SetFaultHook(std::move(hook)); }
    CFaultScope(const CFaultScope&) = delete;
    ~CFaultScope() { SetFaultHook(nullptr); }
};

}  // namespace vantor::platform
