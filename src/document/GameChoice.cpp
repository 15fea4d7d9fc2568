#include "document/GameChoice.h"

#include <variant>

#include "platform/Files.h"
#include "platform/Profile.h"

namespace vantor {

namespace {

constexpr const char* kGameKey = "Game";
constexpr const char* kConfigKey = "OpenMWConfig";
constexpr const char* kInstallDirKey = "InstallDir";
constexpr const char* kMorrowindValue = "Morrowind";
constexpr const char* kOpenMWValue = "OpenMW";

loadorder::COpenMWPaths OpenMWPaths(const platform::CEnvLookup& env) {
    return loadorder::DefaultOpenMWPaths(loadorder::ThisHost(), env);
}

}  // namespace

std::optional<CGameChoice> CGameChoice::Load(const std::string& settingsPath) {
    platform::CProfile profile;
    if (profile.Load(settingsPath) != platform::CProfile::ELoad::Read) return std::nullopt;
    const auto game = profile.Get(kSection, kGameKey);
    if (!game) return std::nullopt;
    CGameChoice choice;
    if (platform::EqualsNoCase(*game, kOpenMWValue))
        choice.m_game = EGame::OpenMW;
    else if (!platform::EqualsNoCase(*game, kMorrowindValue))
        return std::nullopt;
    choice.m_openmwConfig = profile.Get(kSection, kConfigKey, "");
    choice.m_installDir = profile.Get(kSection, kInstallDirKey, "");
    return choice;
}

bool CGameChoice::Save(const std::string& settingsPath) const {
    platform::CProfile profile;
    // A file that is there but cannot be read is not replaced by one that
    // holds only this section.
    if (profile.Load(settingsPath) == platform::CProfile::ELoad::Failed) return false;
    if (!profile.Set(kSection, kGameKey, m_game == EGame::OpenMW ? kOpenMWValue : kMorrowindValue)) return false;
    // An empty value is what the key says when it is missing: the default place.
    if (!m_openmwConfig.empty() || profile.Get(kSection, kConfigKey))
        if (!profile.Set(kSection, kConfigKey, m_openmwConfig)) return false;
    if (!m_installDir.empty() || profile.Get(kSection, kInstallDirKey))
        if (!profile.Set(kSection, kInstallDirKey, m_installDir)) return false;
    return !profile.Changed() || profile.Save(settingsPath);
}

std::string DefaultOpenMWConfig(const platform::CEnvLookup& env) {
    const loadorder::COpenMWPaths paths = OpenMWPaths(env);
    const std::string global = paths.m_globalConfig + "openmw.cfg";
    if (!paths.m_globalConfig.empty() && platform::FileExists(global)) return global;
    return paths.m_userConfig + "openmw.cfg";
}

CGameChoice FirstStartChoice(const platform::CEnvLookup& env) {
    const loadorder::COpenMWPaths paths = OpenMWPaths(env);
    bool openmw = false;
    for (const std::string& folder : {paths.m_globalConfig, paths.m_userConfig})
        openmw = openmw || (!folder.empty() && platform::FileExists(folder + "openmw.cfg"));
    const platform::CInstallDirs game = env ? platform::FindInstallDirs(env) : platform::FindInstallDirs();
    CGameChoice choice;
    if (openmw && game.m_source == platform::EInstallSource::Default) choice.m_game = CGameChoice::EGame::OpenMW;
    return choice;
}

std::shared_ptr<const loadorder::CLoadOrder> MakeLoadOrder(const CGameChoice& choice,
                                                           const std::optional<std::string>& installDir,
                                                           const std::optional<std::string>& dataDir) {
    if (choice.m_game == CGameChoice::EGame::OpenMW)
        return loadorder::OpenMWLoadOrder({choice.m_openmwConfig, OpenMWPaths({})});
    const bool chosen = !installDir && !choice.m_installDir.empty();
    return loadorder::MorrowindLoadOrder({chosen ? std::optional(choice.m_installDir) : installDir, dataDir, {}});
}

bool IsOpenMW(const loadorder::CLoadOrder& order) {
    return std::holds_alternative<loadorder::COpenMWWhere>(order.Where());
}

std::optional<loadorder::CConfigFile> UnreadableConfig(const loadorder::CLoadOrder& order) {
    const loadorder::CWhere where = order.Where();
    const auto* openmw = std::get_if<loadorder::COpenMWWhere>(&where);
    if (!openmw) return std::nullopt;
    for (std::size_t i = 0; i < openmw->m_chain.size(); ++i) {
        const loadorder::CConfigFile& file = openmw->m_chain[i];
        const bool unread = file.m_status == loadorder::EConfigStatus::NotAFile ||
                            file.m_status == loadorder::EConfigStatus::Unreadable;
        if (unread || (i == 0 && file.m_status == loadorder::EConfigStatus::Missing)) return file;
    }
    return std::nullopt;
}

std::string ConfigProblem(const loadorder::CConfigFile& file) {
    switch (file.m_status) {
        case loadorder::EConfigStatus::Read: return "read";
        case loadorder::EConfigStatus::Missing: return "there is no such file";
        case loadorder::EConfigStatus::NotAFile: return "it is not a regular file";
        case loadorder::EConfigStatus::Unreadable: return file.m_error.empty() ? "it cannot be read" : file.m_error;
        case loadorder::EConfigStatus::Repeated: return "it was read before in the chain";
    }
    return {};
}

}  // namespace vantor
