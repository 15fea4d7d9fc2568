#pragma once
// Load orders for the check tests: plugins composed byte by byte, written
// with chosen file times and read back with chosen extraction options.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "checks/PluginChecker.h"
#include "document/ResultTable.h"
#include "format/PluginFile.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"

namespace vantor::fixtures {

class CLoadOrder {
public:
    // Writes the file, stamps it with `time` (seconds since the epoch) and
    // reads it; the object lives as long as the load order.
    CPluginFile& Add(const std::string& name, const CPluginBuilder& plugin, std::int64_t time,
                     CExtractOpts opts = CExtractOpts::All());
    void Remove(const std::string& name) const;
    const std::string& Folder() const { return m_dir.Path(); }

private:
    CTempDir m_dir;
    std::vector<std::unique_ptr<CPluginFile>> m_files;
};

// A record of the ID with a name subrecord of `body`, when given.
std::vector<CSub> Named(const std::string& id, const std::string& body, bool deleted = false);

inline const std::atomic<std::int32_t> kRunning{0};

// A scripted link that raises its stop flag at its n-th progress report, as a
// user pressing Stop during an operation would: never for 0, before it for n < 0.
class CStoppingLink : public CScriptedLink {
public:
    explicit CStoppingLink(int after) : m_flag(after < 0), m_after(std::max(after, 0)) {}
    void Progress(const std::string& text, int total) override {
        CScriptedLink::Progress(text, total);
        if (--m_after == 0) m_flag = 1;
    }
    std::atomic<std::int32_t> m_flag;

private:
    int m_after;
};

// Findings as the panes show them: a conflict's six texts, the others' five.
using CTextRows = std::vector<std::vector<std::string>>;
CTextRows TextsOf(const CFindings& rows, const std::vector<const CPluginFile*>& files);

}  // namespace vantor::fixtures
