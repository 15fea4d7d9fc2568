#pragma once
// Makes file operations fail for one scope. The hook is cleared however the
// scope ends, so a failed ASSERT cannot leave it failing later tests' calls.
#include "platform/Files.h"

namespace vantor::platform {

class CFaultScope {
public:
    explicit CFaultScope(CFaultHook hook) { SetFaultHook(std::move(hook)); }
    ~CFaultScope() { SetFaultHook(nullptr); }
    CFaultScope(const CFaultScope&) = delete;
    CFaultScope& operator=(const CFaultScope&) = delete;
};

}  // namespace vantor::platform
