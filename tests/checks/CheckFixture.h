#pragma once
// Load orders for the check tests: plugins composed byte by byte, written
// with chosen file times and read back with chosen extraction options.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "format/PluginFile.h"
#include "fixtures/PluginBuilder.h"
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

}  // namespace vantor::fixtures
