#include "checks/CheckFixture.h"

#include <stdexcept>

#include "platform/FileOps.h"

namespace vantor::fixtures {

CPluginFile& CLoadOrder::Add(const std::string& name, const CPluginBuilder& plugin, std::int64_t time,
                             CExtractOpts opts) {
    if (!plugin.Write(m_dir / name) || !StampFile(m_dir / name, time)) throw std::runtime_error("cannot write " + name);
    auto file = ReadPluginAt(m_dir.Path(), name, opts);
    if (!file) throw std::runtime_error("cannot read " + name);
    m_files.push_back(std::move(file));
    return *m_files.back();
}

void CLoadOrder::Remove(const std::string& name) const { platform::RemoveFile(m_dir / name); }

std::vector<CSub> Named(const std::string& id, const std::string& body, bool deleted) {
    std::vector<CSub> subs{Name(id)};
    if (!body.empty()) subs.push_back(Sub("FNAM", Z(body)));
    if (deleted) subs.push_back(Dele());
    return subs;
}

}  // namespace vantor::fixtures
