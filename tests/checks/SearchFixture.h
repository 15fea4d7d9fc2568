#pragma once
// Helpers of the search and listing tests.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "checks/Search.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"
#include "platform/Cp1252.h"

namespace vantor::fixtures {

// A scripted link that raises a stop flag at its n-th progress report, as a
// user pressing New Check in the middle of an operation would.
class CStoppingLink : public CScriptedLink {
public:
    CStoppingLink(std::atomic<std::int32_t>& stop, int after) : m_stop(stop), m_after(after) {}
    void Progress(const std::string& text, int total) override {
        CScriptedLink::Progress(text, total);
        if (--m_after == 0) m_stop = 1;
    }

private:
    std::atomic<std::int32_t>& m_stop;
    int m_after;
};

// The corpus plugins and masters, read whole; empty when there is no corpus.
struct CCorpus {
    std::vector<std::unique_ptr<CPluginFile>> m_files;
    std::vector<CPluginFile*> m_plugins;
    std::vector<CPluginFile*> m_masters;

    CCorpus() {
        for (const auto& path : CorpusFiles()) {
            const std::string lower = cp1252::Fold(path);
            const bool master = lower.ends_with(".esm");
            if (!master && !lower.ends_with(".esp")) continue;
            auto file = ReadPluginAt(platform::FolderOf(path), platform::FileNameOf(path));
            if (!file) continue;
            (master ? m_masters : m_plugins).push_back(file.get());
            m_files.push_back(std::move(file));
        }
    }
    bool Empty() const { return m_files.empty(); }
};

}  // namespace vantor::fixtures
