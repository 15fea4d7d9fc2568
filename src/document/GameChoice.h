#pragma once
// Which load order the program works on: the game's own (Morrowind.ini and
// file times) or OpenMW's (the openmw.cfg chain), and what the front ends
// need to say about it.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "loadorder/LoadOrder.h"
#include "platform/InstallDir.h"

namespace vantor {

struct CGameChoice {
    // The window keeps its choice in the settings file under this section.
    static constexpr const char* kSection = "Game";

    enum class EGame { Morrowind, OpenMW };
    EGame m_game = EGame::Morrowind;
    // An openmw.cfg or the folder holding one; "" for OpenMW's own places.
    std::string m_openmwConfig;
    // The game's folder as the user set it; "" to look it up (registry,
    // environment, Wine prefix). Initialised, so that a choice written with
    // the first two members only is complete.
    std::string m_installDir = {};

    bool operator==(const CGameChoice&) const = default;

    // What the settings file holds; nullopt when it holds no choice yet.
    static std::optional<CGameChoice> Load(const std::string& settingsPath);
    // Writes only what changed; false when the file could not be written.
    bool Save(const std::string& settingsPath) const;
};

// The choice of a first start: OpenMW when an openmw.cfg lies in OpenMW's
// own places and the game's install folder is not found, else the game's.
// An empty `env` reads the process environment.
CGameChoice FirstStartChoice(const platform::CEnvLookup& env = {});

// The openmw.cfg a load order of OpenMW's own places starts with: the
// packaged global file when there is one, else the user's.
std::string DefaultOpenMWConfig(const platform::CEnvLookup& env = {});

// The load order of a choice; the folders, when given, say where the game
// is instead of the choice's folder or the lookup.
std::shared_ptr<const loadorder::CLoadOrder> MakeLoadOrder(const CGameChoice& choice,
                                                           const std::optional<std::string>& installDir = {},
                                                           const std::optional<std::string>& dataDir = {});

bool IsOpenMW(const loadorder::CLoadOrder& order);

// A file of the configuration chain that was there but could not be read
// (the first file also when it is missing): the load order would be
// incomplete. nullopt when every file was read or was only missing.
std::optional<loadorder::CConfigFile> UnreadableConfig(const loadorder::CLoadOrder& order);
// Why a file of the chain was not read, in words.
std::string ConfigProblem(const loadorder::CConfigFile& file);

}  // namespace vantor
