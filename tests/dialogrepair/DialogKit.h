#pragma once
// Helpers for the dialogue merge tests: topic and response records with
// exact id bytes, file times, and a reader of the written repair plugin.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fixtures/PluginBuilder.h"
#include "format/LittleEndian.h"
#include "platform/FileOps.h"

namespace vantor::fixtures {

using le::U32;

// An id as the game writes it: the text and one zero byte.
inline std::string Id(const std::string& text) { return text + std::string(1, '\0'); }

// An INFO record's subrecords; ids are taken as raw payload bytes.
std::vector<CSub> InfoSubs(const std::string& inam, const std::string& pnam, const std::string& nnam,
                           const std::string& text, bool deleted = false);
// A DIAL record's subrecords: NAME (topic and zero byte) and a 1-byte DATA.
std::vector<CSub> DialSubs(const std::string& topic, char type = 0, bool deleted = false);

// A response of a plugin: INAM text, PNAM text, NNAM text, response text.
struct CResp {
    std::string m_id, m_prev, m_next, m_text;
    bool m_deleted = false;
};
// Adds a DIAL and its responses.
void AddTopic(CPluginBuilder& b, const std::string& topic, const std::vector<CResp>& responses);

// Sets a file's last-write time (seconds since the epoch).
inline void SetFileTime(const std::string& path, std::int64_t seconds) {
    ASSERT_TRUE(platform::SetFileTimes(path, {seconds, 0, seconds, 0})) << path;
}

// The payload of the NAME subrecord among a response's bytes after NNAM.
std::string TextOf(std::string_view rest);

struct CBackInfo {
    std::string m_inam, m_pnam, m_nnam, m_rest;
};
struct CBackTopic {
    std::string m_name;  // NAME payload as written
    std::string m_rest;
    std::vector<CBackInfo> m_infos;
};
struct CRepairBack {
    bool m_ok = false;
    std::string m_header;  // the whole TES3 record
    std::uint32_t m_recordCount = 0;
    std::size_t m_records = 0;  // records after the header
    std::vector<CBackTopic> m_topics;
};
// Reads a repair plugin strictly: every record must be whole.
CRepairBack ReadRepair(const std::string& path);

// First PNAM and last NNAM a single zero byte, each NNAM the next INAM and
// each PNAM the previous INAM, byte for byte.
::testing::AssertionResult ChainConsistent(const CBackTopic& topic);
// Each topic's chain as "id=text id=text ...", checked for consistent links.
std::map<std::string, std::string> Chains(const CRepairBack& back);

}  // namespace vantor::fixtures
